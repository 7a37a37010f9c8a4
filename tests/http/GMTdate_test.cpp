#include "http/GMTdate.h"

#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "tests/http/MemoryStream.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <string>

namespace {

const char WRITTEN[] = "Sun, 06 Nov 1994 08:49:37 GMT";
// Seconds from 1970 to that moment.
constexpr int64_t WRITTEN_SECONDS = 784111777;

GMTdate parse(const char* text) {
    GMTdate date;
    date.from_Str(Str(text));
    return date;
}

void expect_example_fields(const GMTdate& d) {
    EXPECT_EQ(d.fail, 0);
    EXPECT_EQ(d.year, 1994);
    EXPECT_EQ(d.month, 10);
    EXPECT_EQ(d.day, 6);
    EXPECT_EQ(d.weekday, 0);
    EXPECT_EQ(d.hour, 8);
    EXPECT_EQ(d.minute, 49);
    EXPECT_EQ(d.second, 37);
}

std::string le32(int32_t v) {
    std::string s;
    for (int i = 0; i < 4; i++) s += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff);
    return s;
}

} // namespace

TEST(GMTdateParse, ThreeFormsGiveTheSameFieldsAndWriteBackAlike) {
    const char* forms[] = {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994"};
    for (const char* form : forms) {
        SCOPED_TRACE(form);
        GMTdate d = parse(form);
        expect_example_fields(d);
        EXPECT_TRUE(d.to_Str() == WRITTEN);
    }
}

TEST(GMTdateParse, LeadingBlanksAndExtraTrailingWordsAreTolerated) {
    expect_example_fields(parse("  Sun, 06 Nov 1994 08:49:37 GMT ; length=3"));
    expect_example_fields(parse("Sun Nov 6 08:49:37 1994 GMT"));
}

TEST(GMTdateParse, Rfc850YearIsAlways19yy) {
    GMTdate d = parse("Thursday, 05-Jan-05 10:11:12 GMT");
    EXPECT_EQ(d.fail, 0);
    EXPECT_EQ(d.year, 1905);
    EXPECT_EQ(d.month, 0);
    EXPECT_EQ(d.day, 5);
    EXPECT_EQ(d.weekday, 4);
    EXPECT_TRUE(d.to_Str() == "Thu, 05 Jan 1905 10:11:12 GMT");
}

TEST(GMTdateParse, WeekdayIsTakenFromTheTextNotComputed) {
    // 6 Nov 1994 was a Sunday; the text says Wednesday and wins.
    GMTdate d = parse("Wed, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(d.fail, 0);
    EXPECT_EQ(d.weekday, 3);
}

TEST(GMTdateParse, RejectsOutOfRangeTimesAndDays) {
    const char* bad[] = {
        "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994 08:60:00 GMT",
        "Sun, 06 Nov 1994 08:49:60 GMT", "Sun, 00 Nov 1994 08:49:37 GMT",
        "Sun, 32 Nov 1994 08:49:37 GMT", "Sunday, 32-Nov-94 08:49:37 GMT",
        "Sun Nov 32 08:49:37 1994",      "Sun Nov 0 08:49:37 1994",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parse(text).fail, 1);
    }
}

TEST(GMTdateParse, RejectsWrongNamesAndZones) {
    const char* bad[] = {
        "sun, 06 Nov 1994 08:49:37 GMT",    // weekday names are case-sensitive
        "Sun, 06 nov 1994 08:49:37 GMT",    // so are month names
        "Sun, 06 Nox 1994 08:49:37 GMT",
        "Sun, 06 Nov 1994 08:49:37 UTC",    // only GMT
        "Sun, 06 Nov 1994 08:49:37 gmt",
        "Sunday, 06-Nox-94 08:49:37 GMT",
        "Sunday, 06-Nov-94 08:49:37 UTC",
        "Sundy, 06 Nov 1994 08:49:37 GMT",
        "Sun, 006 Nov 1994 08:49:37 GMT",   // day word neither short nor 9 long
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parse(text).fail, 1);
    }
}

TEST(GMTdateParse, RejectsMissingFieldsAndBadTimeWords) {
    const char* bad[] = {
        "",
        "Sun,",
        "Sun, 06",
        "Sun, 06 Nov",
        "Sun, 06 Nov 1994",
        "Sun, 06 Nov 1994 08:49:37",     // no zone word
        "Sun, 06 Nov 1994 8:49:37 GMT",  // time word must be 8 long
        "Sun, 06 Nov 1994 08:49:370 GMT",
        "Sunday, 06-Nov-94",
        "Sun Nov",
        "Sun Nov 6",
        "Sun Nov 6 08:49",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parse(text).fail, 1);
    }
}

TEST(GMTdateParse, AsctimeWithoutYearGivesYearZero) {
    // No year word: to_ulong of nothing is 0; the form asks for nothing more.
    GMTdate d = parse("Sun Nov 6 08:49:37");
    EXPECT_EQ(d.fail, 0);
    EXPECT_EQ(d.year, 0);
}

TEST(GMTdateParse, FailedParseOfASpecifiedDateMakesItUnspecified) {
    GMTdate d = parse(WRITTEN);
    ASSERT_EQ(d.fail, 0);
    d.from_Str(Str("nonsense"));
    EXPECT_EQ(d.fail, 1);
}

TEST(GMTdateWrite, NewDateIsUnspecifiedWithAllFieldsMinusOne) {
    GMTdate d;
    EXPECT_EQ(d.fail, 1);
    EXPECT_FALSE(d.specified());
    const int32_t fields[] = {d.year, d.month, d.day, d.weekday, d.hour, d.minute, d.second};
    for (int32_t f : fields) EXPECT_EQ(f, -1);
    EXPECT_TRUE(d.to_Str() == "date-not-specified");
}

TEST(GMTdateWrite, PadsSmallValuesToTwoDigitsAndKeepsLongYears) {
    GMTdate d;
    d.year = 12345;
    d.month = 0;
    d.day = 1;
    d.weekday = 6;
    d.hour = 0;
    d.minute = 5;
    d.second = 9;
    d.fail = 0;
    EXPECT_TRUE(d.to_Str() == "Sat, 01 Jan 12345 00:05:09 GMT");
}

TEST(GMTdateWrite, DamagedWeekdayOrMonthDoesNotReadOutsideTheTables) {
    GMTdate d = parse(WRITTEN);
    d.weekday = 7;
    d.month = -3;
    EXPECT_TRUE(d.to_Str() == "???, 06 ??? 1994 08:49:37 GMT");
}

TEST(GMTdateTime, SetFromTimeBreaksDownInUtc) {
    GMTdate d;
    d.set_from_time(WRITTEN_SECONDS);
    expect_example_fields(d);

    d.set_from_time(951782400); // 2000-02-29 00:00:00, a Tuesday
    EXPECT_EQ(d.fail, 0);
    EXPECT_EQ(d.year, 2000);
    EXPECT_EQ(d.month, 1);
    EXPECT_EQ(d.day, 29);
    EXPECT_EQ(d.weekday, 2);
    EXPECT_EQ(d.hour, 0);
}

TEST(GMTdateTime, SetNowLiesBetweenTwoClockReadings) {
    GMTdate before, now, after;
    before.set_from_time(static_cast<int64_t>(std::time(nullptr)));
    now.set_now();
    after.set_from_time(static_cast<int64_t>(std::time(nullptr)));
    EXPECT_EQ(now.fail, 0);
    EXPECT_TRUE(before.le(now));
    EXPECT_TRUE(now.le(after));
}

TEST(GMTdateTime, DiffCountsSecondsAcrossMonthsYearsAndLeapDays) {
    GMTdate epoch, example;
    epoch.set_from_time(0);
    example = parse(WRITTEN);
    EXPECT_EQ(example.diff(epoch), static_cast<double>(WRITTEN_SECONDS));
    EXPECT_EQ(epoch.diff(example), -static_cast<double>(WRITTEN_SECONDS));

    GMTdate a = parse("Mon, 28 Feb 2000 23:59:59 GMT");
    GMTdate b = parse("Wed, 01 Mar 2000 00:00:00 GMT");
    EXPECT_EQ(b.diff(a), 86401.0); // 29 February lies between
    GMTdate c = parse("Fri, 31 Dec 1999 23:59:59 GMT");
    GMTdate e = parse("Sat, 01 Jan 2000 00:00:00 GMT");
    EXPECT_EQ(e.diff(c), 1.0);

    // Every instant maps back to the seconds it was made from.
    std::mt19937 random(1994);
    for (int i = 0; i < 500; i++) {
        int64_t t = random() % 4102444800LL; // up to 2100
        GMTdate d;
        d.set_from_time(t);
        ASSERT_EQ(d.diff(epoch), static_cast<double>(t)) << t;
    }
}

TEST(GMTdateCompare, LeIgnoresWeekdayAndTreatsUnspecifiedAsEarliest) {
    GMTdate unspecified;
    GMTdate early = parse("Sun, 06 Nov 1994 08:49:37 GMT");
    GMTdate late = parse("Sun, 06 Nov 1994 08:49:38 GMT");
    GMTdate same_other_weekday = parse("Mon, 06 Nov 1994 08:49:37 GMT");

    EXPECT_TRUE(unspecified.le(early));
    EXPECT_TRUE(unspecified.le(unspecified));
    EXPECT_FALSE(early.le(unspecified));
    EXPECT_TRUE(early.le(late));
    EXPECT_FALSE(late.le(early));
    EXPECT_TRUE(early.le(early));
    EXPECT_TRUE(early.le(same_other_weekday));
    EXPECT_TRUE(same_other_weekday.le(early));

    // Earlier fields decide before later ones.
    GMTdate next_year_january = parse("Mon, 01 Jan 1995 00:00:00 GMT");
    EXPECT_TRUE(late.le(next_year_january));
    EXPECT_FALSE(next_year_january.le(late));
}

TEST(GMTdateStream, BinaryFormIsSevenIntegersAndAFlagIn32Bytes) {
    GMTdate d = parse(WRITTEN);
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << d;
    EXPECT_EQ(drain.error(), 0);
    std::string expected = le32(1994) + le32(10) + le32(6) + le32(0) + le32(8) + le32(49) +
                           le32(37) + le32(0);
    EXPECT_EQ(out.bytes, expected);

    MemoryWriteable out2;
    BinaryDrain drain2(out2);
    drain2 << GMTdate();
    EXPECT_EQ(out2.bytes, le32(-1) + le32(-1) + le32(-1) + le32(-1) + le32(-1) + le32(-1) +
                              le32(-1) + le32(1));
}

TEST(GMTdateStream, BinaryRoundTripKeepsSpecifiedAndUnspecifiedDates) {
    GMTdate written[2] = {parse("Thursday, 05-Jan-05 10:11:12 GMT"), GMTdate()};
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << written[0] << written[1];

    MemoryReadable in(out.bytes);
    BinarySource source(in);
    GMTdate read[2];
    read[1] = parse(WRITTEN); // must become unspecified again
    source >> read[0] >> read[1];
    EXPECT_EQ(source.error(), 0);
    EXPECT_TRUE(read[0].to_Str() == written[0].to_Str());
    EXPECT_EQ(read[0].weekday, 4);
    EXPECT_EQ(read[1].fail, 1);
    EXPECT_STREQ(fail_take(), "");
}

TEST(GMTdateStream, ShortReadIsReportedAndLeavesTheDateUnspecified) {
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << parse(WRITTEN);
    MemoryReadable in(out.bytes.substr(0, 30));
    BinarySource source(in);
    GMTdate d;
    source >> d;
    EXPECT_NE(source.error(), 0);
    EXPECT_EQ(d.fail, 1);
    std::string report = fail_take();
    EXPECT_EQ(report.rfind("ObjectSource >> GMTdate unable to read instance, reason:\r\n", 0), 0u)
        << report;
}

TEST(GMTdateStream, TextFormIsTheWrittenForm) {
    MemoryWriteable out;
    TextDrain drain(out);
    drain << parse(WRITTEN) << GMTdate();
    EXPECT_EQ(out.bytes, std::string(WRITTEN) + "date-not-specified");
}

TEST(GMTdateStream, FailingDrainIsReported) {
    BrokenWriteable out;
    BinaryDrain drain(out);
    drain << parse(WRITTEN);
    std::string report = fail_take();
    EXPECT_EQ(report.rfind("ObjectDrain << GMTdate unable to write instance, reason:\r\n", 0), 0u)
        << report;
}

TEST(GMTdateRobustness, RandomAndTruncatedTextsNeverCrash) {
    const std::string seeds[] = {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                                 "Sun Nov  6 08:49:37 1994"};
    const std::string alphabet = "SunMoTeWdhFriaJbpyglcOvNDG0123456789:,- \t\"\r\n";
    std::mt19937 random(20240611);
    int parsed = 0;
    for (int i = 0; i < 4000; i++) {
        std::string text;
        const std::string& seed = seeds[i % 3];
        switch (i % 4) {
        case 0: // truncated
            text = seed.substr(0, random() % (seed.size() + 1));
            break;
        case 1: // mutated
            text = seed;
            for (int k = random() % 4; k >= 0; k--)
                text[random() % text.size()] = static_cast<char>(random() % 256);
            break;
        case 2: // from the date alphabet
            for (int k = random() % 40; k > 0; k--) text += alphabet[random() % alphabet.size()];
            break;
        default: // any bytes, NUL included
            for (int k = random() % 40; k > 0; k--) text += static_cast<char>(random() % 256);
        }
        GMTdate d;
        d.from_Str(Str(text.data(), static_cast<uint32_t>(text.size())));
        if (d.specified()) {
            parsed++;
            EXPECT_TRUE(d.hour >= 0 && d.hour <= 23 && d.minute >= 0 && d.minute <= 59 &&
                        d.second >= 0 && d.second <= 59 && d.day >= 1 && d.day <= 31)
                << text;
        }
        d.to_Str();
    }
    EXPECT_GT(parsed, 0); // the truncated seeds include whole dates
    EXPECT_STREQ(fail_take(), "");
}
