#include "http/GMTdate.h"

#include "foundation/ObjectStream.h"
#include "tests/foundation/Expect.h"
#include "tests/foundation/MemoryStream.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <string>

namespace {

const char WRITTEN[] = "Sun, 06 Nov 1994 08:49:37 GMT";
constexpr int64_t WRITTEN_SECONDS = 784111777; // from 1970 to that moment

GMTdate parse(const char* text) {
    GMTdate date;
    date.from_Str(Str(text));
    return date;
}

std::string written(const GMTdate& d) { return d.to_Str().c_str(); }

std::string fields(const GMTdate& d) {
    std::string out;
    for (int32_t f : {d.year, d.month, d.day, d.weekday, d.hour, d.minute, d.second, d.fail})
        out += std::to_string(f) + " ";
    return out;
}

TEST(GMTdate, ReadsTheThreeFormsWritesTheFirstAndCountsSecondsInUtc) {
    const char* bad = "date-not-specified";
    for (auto [text, result] : {
             std::pair{"Sun, 06 Nov 1994 08:49:37 GMT", WRITTEN}, {"Sunday, 06-Nov-94 08:49:37 GMT", WRITTEN},
             {"Sun Nov  6 08:49:37 1994", WRITTEN}, {"  Sun, 06 Nov 1994 08:49:37 GMT ; length=3", WRITTEN},
             {"Sun Nov 6 08:49:37 1994 GMT", WRITTEN},
             {"Thursday, 05-Jan-05 10:11:12 GMT", "Thu, 05 Jan 1905 10:11:12 GMT"}, // always 19yy
             {"Wed, 06 Nov 1994 08:49:37 GMT", "Wed, 06 Nov 1994 08:49:37 GMT"},     // the text's weekday
             {"Sun Nov 6 08:49:37", "Sun, 06 Nov 0 08:49:37 GMT"},                  // no year word
             {"Sun, 06 Nov 1994 24:00:00 GMT", bad}, {"Sun, 06 Nov 1994 08:60:00 GMT", bad},
             {"Sun, 06 Nov 1994 08:49:60 GMT", bad}, {"Sun, 00 Nov 1994 08:49:37 GMT", bad},
             {"Sun, 32 Nov 1994 08:49:37 GMT", bad}, {"Sun Nov 32 08:49:37 1994", bad},
             {"sun, 06 Nov 1994 08:49:37 GMT", bad}, {"Sun, 06 nov 1994 08:49:37 GMT", bad},
             {"Sun, 06 Nox 1994 08:49:37 GMT", bad}, {"Sun, 06 Nov 1994 08:49:37 UTC", bad},
             {"Sunday, 06-Nox-94 08:49:37 GMT", bad}, {"Sunday, 06-Nov-94 08:49:37 UTC", bad},
             {"Sundy, 06 Nov 1994 08:49:37 GMT", bad}, {"Sun, 006 Nov 1994 08:49:37 GMT", bad}, {"", bad},
             {"Sun,", bad}, {"Sun, 06 Nov", bad}, {"Sun, 06 Nov 1994", bad}, {"Sun, 06 Nov 1994 08:49:37", bad},
             {"Sun, 06 Nov 1994 8:49:37 GMT", bad}, {"Sun, 06 Nov 1994 08:49:370 GMT", bad},
             {"Sunday, 06-Nov-94", bad}, {"Sun Nov", bad}, {"Sun Nov 6", bad}, {"Sun Nov 6 08:49", bad}}) {
        GMTdate d = parse(WRITTEN); // a failed parse makes a date unspecified again
        d.from_Str(Str(text));
        EXPECT_EQ(written(d), result) << text;
    }
    GMTdate d, epoch, before, after;
    d.year = 12345;
    d.month = d.hour = d.fail = 0;
    d.day = d.weekday = 1;
    d.minute = 5;
    d.second = 9;
    epoch.set_from_time(0);
    expect_all({SAME(fields(parse("Sunday, 06-Nov-94 08:49:37 GMT")), "1994 10 6 0 8 49 37 0 "),
                SAME(fields(GMTdate()), "-1 -1 -1 -1 -1 -1 -1 1 "), SAME(written(d), "Mon, 01 Jan 12345 00:05:09 GMT"),
                SAME((d.weekday = 7, d.month = -3, written(d)), "???, 01 ??? 12345 00:05:09 GMT"), // a damaged record
                SAME((d.set_from_time(WRITTEN_SECONDS), written(d)), WRITTEN),
                SAME((d.set_from_time(951782400), fields(d)), "2000 1 29 2 0 0 0 0 "),
                SAME(parse(WRITTEN).diff(epoch), WRITTEN_SECONDS), SAME(epoch.diff(parse(WRITTEN)), -WRITTEN_SECONDS),
                SAME(parse("Wed, 01 Mar 2000 00:00:00 GMT").diff(parse("Mon, 28 Feb 2000 23:59:59 GMT")), 86401),
                SAME(parse("Sat, 01 Jan 2000 00:00:00 GMT").diff(parse("Fri, 31 Dec 1999 23:59:59 GMT")), 1)});
    std::mt19937 random(1994);
    for (int i = 0; i < 500; i++) {
        int64_t t = random() % 4102444800LL; // up to 2100
        d.set_from_time(t);
        ASSERT_EQ(d.diff(epoch), double(t)) << t;
    }
    before.set_from_time(int64_t(std::time(nullptr)));
    d.set_now();
    after.set_from_time(int64_t(std::time(nullptr)));
    EXPECT_TRUE(d.specified() && before.le(d) && d.le(after));
}

TEST(GMTdate, EarlierFieldsDecideAndUnspecifiedIsEarliest) {
    GMTdate none, early = parse(WRITTEN), late = parse("Sun, 06 Nov 1994 08:49:38 GMT");
    GMTdate other_weekday = parse("Mon, 06 Nov 1994 08:49:37 GMT");
    GMTdate next_year = parse("Mon, 01 Jan 1995 00:00:00 GMT");
    for (auto [a, b, le] : {std::tuple{&none, &early, true}, {&none, &none, true}, {&early, &none, false},
                            {&early, &late, true}, {&late, &early, false}, {&early, &early, true},
                            {&early, &other_weekday, true}, {&other_weekday, &early, true},
                            {&late, &next_year, true}, {&next_year, &late, false}})
        EXPECT_EQ(a->le(*b), le) << written(*a) << " <= " << written(*b);
}

TEST(GMTdate, StoredFormIsSevenIntegersAndAFlagIn32Bytes) {
    fail_take();
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << parse("Thursday, 05-Jan-05 10:11:12 GMT") << GMTdate();
    std::string one = le32(1905) + le32(0) + le32(5) + le32(4) + le32(10) + le32(11) + le32(12) + le32(0);
    std::string none;
    for (int i = 0; i < 7; i++) none += le32(uint32_t(-1));
    EXPECT_EQ(out.bytes, one + none + le32(1));

    MemoryReadable in(out.bytes + out.bytes.substr(0, 30));
    BinarySource source(in);
    GMTdate back[3] = {GMTdate(), parse(WRITTEN), parse(WRITTEN)};
    MemoryWriteable text, broken(10);
    TextDrain text_drain(text);
    BinaryDrain broken_drain(broken);
    text_drain << parse(WRITTEN) << GMTdate();
    expect_all({SAME((source >> back[0] >> back[1], source.error()), 0),
                SAME(fields(back[0]), "1905 0 5 4 10 11 12 0 "), SAME(back[1].specified(), false),
                SAME((source >> back[2], back[2].specified()), false),
                SAME(fail_take(), "ObjectSource >> GMTdate unable to read instance, reason:\r\n"
                     " MemoryReadable::eread read-error\r\n"),
                SAME(text.bytes, std::string(WRITTEN) + "date-not-specified"),
                SAME((broken_drain << parse(WRITTEN), fail_take()),
                     "ObjectDrain << GMTdate unable to write instance, reason:\r\n"
                     " MemoryWriteable::ewrite write-error\r\n")});
}

} // namespace
