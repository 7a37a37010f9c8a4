// GMTdate: the calendar date and time of HTTP headers, cache records and the
// admin pages, always in UTC.
//
// Read forms (from_Str), the weekday always taken from the text:
//   Sun, 06 Nov 1994 08:49:37 GMT      (RFC 1123; the year is taken whole)
//   Sunday, 06-Nov-94 08:49:37 GMT     (RFC 850; the year is 1900 + yy)
//   Sun Nov  6 08:49:37 1994           (asctime; no zone word)
// Written form (to_Str): "Sun, 06 Nov 1994 08:49:37 GMT", or
// "date-not-specified" while `fail` is set.
//
// Binary stream form, 32 bytes, stored in cache files, cachedb and the command
// channel: year, month, day, weekday, hour, minute, second as signed 32-bit
// little-endian values, then `fail` as a 4-byte truth value (1 or 0).
// Text stream form: the written form as one string.
#pragma once

#include "foundation/Str.h"

#include <cstdint>

class ObjectDrain;
class ObjectSource;

class GMTdate {
public:
    int32_t year = -1;
    int32_t month = -1;   // 0 = January
    int32_t day = -1;     // 1 to 31
    int32_t weekday = -1; // 0 = Sunday
    int32_t hour = -1;
    int32_t minute = -1;
    int32_t second = -1;
    int32_t fail = 1;     // non-zero: not specified, the other fields mean nothing

    bool specified() const { return fail == 0; }

    // Never fails loudly: an unparsable text leaves `fail` set.
    GMTdate& from_Str(const Str& text);
    Str to_Str() const;

    void set_now();
    void set_from_time(int64_t seconds_since_1970);
    // This minus other, in seconds.
    double diff(const GMTdate& other) const;
    // Not later than other. An unspecified date is never later; a specified
    // one is later than an unspecified one.
    bool le(const GMTdate& other) const;
};

ObjectDrain& operator<<(ObjectDrain& d, const GMTdate& date);
ObjectSource& operator>>(ObjectSource& s, GMTdate& date);
