#include "http/GMTdate.h"

#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"

#include <cstring>
#include <ctime>

namespace {

const char* const WEEKDAYS[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const LONG_WEEKDAYS[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
const char* const MONTHS[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char NOT_SPECIFIED[] = "date-not-specified";
const char ZONE[] = "GMT";
constexpr uint32_t TIME_WORD_LENGTH = 8;     // hh:mm:ss
constexpr uint32_t RFC850_DATE_LENGTH = 9;   // dd-Mon-yy

// Index of word in names (exact, case-sensitive), or -1.
int lookup(const Str& word, const char* const* names, int count) {
    for (int i = 0; i < count; i++)
        if (word == names[i]) return i;
    return -1;
}

// Table entry, or "???" for a value no parse can produce (a damaged record).
const char* name_of(int32_t index, const char* const* names, int count) {
    return index >= 0 && index < count ? names[index] : "???";
}

bool in_range(uint32_t value, uint32_t low, uint32_t high) {
    return value >= low && value <= high;
}

bool parse_day(const Str& word, GMTdate& date) {
    uint32_t day = word.to_ulong();
    if (!in_range(day, 1, 31)) return false;
    date.day = static_cast<int32_t>(day);
    return true;
}

bool parse_month(const Str& word, GMTdate& date) {
    date.month = lookup(word, MONTHS, 12);
    return date.month >= 0;
}

// hh:mm:ss, each pair read as a number; the separators are not inspected.
bool parse_time(const Str& word, GMTdate& date) {
    if (word.length() != TIME_WORD_LENGTH) return false;
    uint32_t hour = word.substr(0, 2).to_ulong();
    uint32_t minute = word.substr(3, 5).to_ulong();
    uint32_t second = word.substr(6, 8).to_ulong();
    if (!in_range(hour, 0, 23) || !in_range(minute, 0, 59) || !in_range(second, 0, 59))
        return false;
    date.hour = static_cast<int32_t>(hour);
    date.minute = static_cast<int32_t>(minute);
    date.second = static_cast<int32_t>(second);
    return true;
}

// Sun Nov  6 08:49:37 1994 (the month word is already cut)
bool parse_asctime(Str& rest, GMTdate& date) {
    if (!parse_day(rest.cut_word(), date)) return false;
    if (!parse_time(rest.cut_word(), date)) return false;
    date.year = static_cast<int32_t>(rest.cut_word().to_ulong());
    return true;
}

// Sun, 06 Nov 1994 08:49:37 GMT (the day word is already cut)
bool parse_rfc1123(const Str& day_word, Str& rest, GMTdate& date) {
    if (!parse_day(day_word, date)) return false;
    if (!parse_month(rest.cut_word(), date)) return false;
    date.year = static_cast<int32_t>(rest.cut_word().to_ulong());
    if (!parse_time(rest.cut_word(), date)) return false;
    return rest.cut_word() == ZONE;
}

// Sunday, 06-Nov-94 08:49:37 GMT (the date word is already cut)
bool parse_rfc850(const Str& date_word, Str& rest, GMTdate& date) {
    if (!parse_day(date_word.substr(0, 2), date)) return false;
    if (!parse_month(date_word.substr(3, 6), date)) return false;
    date.year = 1900 + static_cast<int32_t>(date_word.substr(7, 9).to_ulong());
    if (!parse_time(rest.cut_word(), date)) return false;
    return rest.cut_word() == ZONE;
}

// The last two characters of "0" followed by the decimal value.
Str two_digits(int32_t value) {
    Str text = "0" + Str::from_long(value);
    return text.substr(text.length() - 2, text.length());
}

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 of a proleptic Gregorian date; month 0-based. Out of
// range months and days roll over into the neighbouring ones, as the C
// library's calendar conversion does.
int64_t days_from_civil(int64_t year, int64_t month, int64_t day) {
    year += floor_div(month, 12);
    month -= floor_div(month, 12) * 12;
    int64_t m = month + 1;
    year -= m <= 2 ? 1 : 0;
    int64_t era = floor_div(year, 400);
    int64_t year_of_era = year - era * 400;
    int64_t day_of_year = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + day - 1;
    int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

int64_t seconds_since_1970(const GMTdate& d) {
    return days_from_civil(d.year, d.month, d.day) * 86400 + int64_t(d.hour) * 3600 +
           int64_t(d.minute) * 60 + d.second;
}

// Every answer carries dates: the usual ones are written in one piece.
bool write_plain_date(const GMTdate& d, const char* weekday, const char* month, char* out) {
    auto two = [](int32_t v) { return v >= 0 && v <= 99; };
    if (!two(d.day) || !two(d.hour) || !two(d.minute) || !two(d.second) || d.year < 1000 ||
        d.year > 9999)
        return false;
    auto put2 = [&out](int32_t v) {
        *out++ = char('0' + v / 10);
        *out++ = char('0' + v % 10);
    };
    std::memcpy(out, weekday, 3);
    out += 3;
    *out++ = ',';
    *out++ = ' ';
    put2(d.day);
    *out++ = ' ';
    std::memcpy(out, month, 3);
    out += 3;
    *out++ = ' ';
    put2(d.year / 100);
    put2(d.year % 100);
    *out++ = ' ';
    put2(d.hour);
    *out++ = ':';
    put2(d.minute);
    *out++ = ':';
    put2(d.second);
    std::memcpy(out, " GMT", 4);
    return true;
}

} // namespace

GMTdate& GMTdate::from_Str(const Str& text) {
    fail = 1;
    Str rest = text;
    Str word = rest.cut_word();
    if (word.length() > 0 && word[word.length() - 1] == ',')
        word = word.substr(0, word.length() - 1);
    weekday = lookup(word, WEEKDAYS, 7);
    if (weekday < 0) weekday = lookup(word, LONG_WEEKDAYS, 7);
    if (weekday < 0) return *this;

    Str second_word = rest.cut_word();
    bool parsed = false;
    if (parse_month(second_word, *this))
        parsed = parse_asctime(rest, *this);
    else if (second_word.length() < 3)
        parsed = parse_rfc1123(second_word, rest, *this);
    else if (second_word.length() == RFC850_DATE_LENGTH)
        parsed = parse_rfc850(second_word, rest, *this);
    if (parsed) fail = 0;
    return *this;
}

Str GMTdate::to_Str() const {
    if (fail) return Str(NOT_SPECIFIED);
    const char* weekday_name = name_of(weekday, WEEKDAYS, 7);
    const char* month_name = name_of(month, MONTHS, 12);
    char plain[29];
    if (write_plain_date(*this, weekday_name, month_name, plain)) return Str(plain, sizeof plain);
    Str text = name_of(weekday, WEEKDAYS, 7);
    text += ", ";
    text += two_digits(day);
    text += ' ';
    text += name_of(month, MONTHS, 12);
    text += ' ';
    text += Str::from_long(year);
    text += ' ';
    text += two_digits(hour);
    text += ':';
    text += two_digits(minute);
    text += ':';
    text += two_digits(second);
    text += " GMT";
    return text;
}

void GMTdate::set_now() {
    set_from_time(static_cast<int64_t>(std::time(nullptr)));
}

void GMTdate::set_from_time(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts;
    if (!gmtime_r(&t, &parts)) {
        fail = 1;
        return;
    }
    year = parts.tm_year + 1900;
    month = parts.tm_mon;
    day = parts.tm_mday;
    weekday = parts.tm_wday;
    hour = parts.tm_hour;
    minute = parts.tm_min;
    second = parts.tm_sec;
    fail = 0;
}

double GMTdate::diff(const GMTdate& other) const {
    return static_cast<double>(seconds_since_1970(*this) - seconds_since_1970(other));
}

bool GMTdate::le(const GMTdate& other) const {
    if (fail) return true;
    if (other.fail) return false;
    const int32_t mine[6] = {year, month, day, hour, minute, second};
    const int32_t theirs[6] = {other.year, other.month, other.day,
                               other.hour, other.minute, other.second};
    for (int i = 0; i < 6; i++)
        if (mine[i] != theirs[i]) return mine[i] < theirs[i];
    return true;
}

ObjectDrain& operator<<(ObjectDrain& d, const GMTdate& date) {
    if (d.form() == ObjectDrain::TEXT) {
        d << date.to_Str();
    } else {
        int status = 0;
        d.open(status);
        if (status == 0)
            d << date.year << date.month << date.day << date.weekday << date.hour
              << date.minute << date.second << (date.fail != 0);
        d.close();
    }
    if (d.error()) fail_chain("ObjectDrain << GMTdate ", "unable to write instance");
    return d;
}

ObjectSource& operator>>(ObjectSource& s, GMTdate& date) {
    int status = 0;
    s.open(status);
    if (status == 0) {
        bool not_specified = true;
        s >> date.year >> date.month >> date.day >> date.weekday >> date.hour >> date.minute >>
            date.second >> not_specified;
        date.fail = not_specified ? 1 : 0;
        if (s.error()) {
            date.fail = 1;
            fail_chain("ObjectSource >> GMTdate ", "unable to read instance");
        }
    }
    s.close();
    return s;
}
