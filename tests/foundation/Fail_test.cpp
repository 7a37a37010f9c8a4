#include "foundation/Fail.h"

#include "testsupport/StderrCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace {

const std::string UNTREATED = "MALFUNCTION:\n"
                              "The error-handler detected an untreated malfunction. This might\n"
                              "be harmless, but if the program should crash, please remember\n"
                              "the following error-message for your bug-report, reason:\r\n ";

TEST(Fail, ReportsChainOuterFirstAndAreCutAtTheLimit) {
    const std::string m1016(1016, 'a'), m2000(2000, 'm'), i900(900, 'i'), o300(300, 'o');
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> reports; // context, message; chained
        std::string text;
    } cases[] = {
        {"one", {{"Cache::load ", "unable to read 'x'"}}, "Cache::load unable to read 'x'\r\n"},
        {"three",
         {{"OFileStream::ewrite ", "write-error"}, {"BufWriteable::flush ", "flush failed"},
          {"ObjectDrain << Cache ", "unable to write instance"}},
         "ObjectDrain << Cache unable to write instance, reason:\r\n"
         " BufWriteable::flush flush failed, reason:\r\n OFileStream::ewrite write-error\r\n"},
        {"just below the limit", {{"X ", m1016}}, "X " + m1016 + "\r\n"},
        {"overlong: no line end", {{"X ", m2000}}, ("X " + m2000).substr(0, FAIL_TEXT_MAX)},
        {"overlong chain keeps the outer",
         {{"Inner ", i900}, {"Outer ", o300}},
         ("Outer " + o300 + ", reason:\r\n Inner " + i900).substr(0, FAIL_TEXT_MAX)},
    };
    fail_take();
    fail_chain("Relais: ", "cannot start"); // a chain with nothing pending starts one
    EXPECT_STREQ(fail_take(), "Relais: cannot start\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fail_new(c.reports[0].first.c_str(), c.reports[0].second.c_str());
        for (size_t i = 1; i < c.reports.size(); i++)
            fail_chain(c.reports[i].first.c_str(), c.reports[i].second.c_str());
        EXPECT_TRUE(fail_pending());
        EXPECT_EQ(fail_take(), c.text);
        EXPECT_FALSE(fail_pending());
        EXPECT_STREQ(fail_take(), "");
    }
}

TEST(Fail, UncollectedReportsArePrintedAsUntreated) {
    fail_take();
    fail_new("A ", "first");
    const char* taken = fail_take();
    StderrCapture capture;
    fail_new("B ", "second");
    EXPECT_STREQ(taken, "A first\r\n"); // readable until the next report
    fail_new("C ", "third");             // B was never taken
    fail_print();
    std::thread([] { fail_new("UrlGet: ", "lost report"); }).join();
    EXPECT_EQ(capture.text(), UNTREATED + "B second\r\n\nMALFUNCTION:\nC third\r\n\n" + UNTREATED +
                                  "UrlGet: lost report\r\n\n");
    EXPECT_FALSE(fail_pending());
}

TEST(Fail, EachThreadHasItsOwnReport) {
    fail_take();
    fail_new("Main ", "mine");
    std::string seen_by_worker;
    std::thread([&] {
        seen_by_worker = fail_take();
        fail_new("Worker ", "its own");
        seen_by_worker += std::string("|") + fail_take();
    }).join();
    EXPECT_EQ(seen_by_worker, "|Worker its own\r\n");
    EXPECT_STREQ(fail_take(), "Main mine\r\n");
}

TEST(Fail, PendingReportIsPrintedAtProcessExit) {
    EXPECT_EXIT(
        {
            fail_new("Cache::store ", "cannot write");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "untreated malfunction.*Cache::store cannot write");
}

} // namespace
