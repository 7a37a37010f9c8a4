#include "foundation/Fail.h"

#include "testsupport/StderrCapture.h"
#include "tests/foundation/Expect.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace {

const std::string UNTREATED = "MALFUNCTION:\nThe error-handler detected an untreated malfunction. This might\n"
                              "be harmless, but if the program should crash, please remember\n"
                              "the following error-message for your bug-report, reason:\r\n ";

TEST(Fail, ReportsChainOuterFirstAndAreCutAtTheLimit) {
    const std::string a1012(1012, 'a'), m2000(2000, 'm'), i900(900, 'i'), o300(300, 'o');
    auto report = [](const std::string& inner, const std::string& outer) {
        fail_new("Inner ", inner.c_str());
        if (!outer.empty()) fail_chain("Outer ", outer.c_str());
        return std::string(fail_take());
    };
    fail_take();
    fail_chain("Relais: ", "cannot start"); // a chain with nothing pending starts one
    expect_all({SAME(fail_pending(), true), SAME(fail_take(), "Relais: cannot start\r\n"), SAME(fail_pending(), false),
                SAME(fail_take(), ""), SAME(report("write-error", "flush failed"),
                                            "Outer flush failed, reason:\r\n Inner write-error\r\n"),
                SAME(report(a1012, ""), "Inner " + a1012 + "\r\n"), // just below the limit
                SAME(report(m2000, ""), ("Inner " + m2000).substr(0, FAIL_TEXT_MAX)), // cut: no line end
                SAME(report(i900, o300), ("Outer " + o300 + ", reason:\r\n Inner " + i900).substr(0, FAIL_TEXT_MAX))});
}

TEST(Fail, UncollectedReportsArePrintedAsUntreatedAndThreadsKeepTheirOwn) {
    fail_take();
    fail_new("A ", "first");
    const char* taken = fail_take();
    StderrCapture capture;
    fail_new("B ", "second");
    EXPECT_STREQ(taken, "A first\r\n"); // readable until the next report
    fail_new("C ", "third");             // B was never taken
    fail_print();
    fail_new("Main ", "mine");
    std::string seen_by_worker;
    std::thread([&] {
        seen_by_worker = fail_take();
        fail_new("Worker ", "its own");
        seen_by_worker += std::string("|") + fail_take();
        fail_new("UrlGet: ", "lost report"); // printed when the thread ends
    }).join();
    expect_all({SAME(seen_by_worker, "|Worker its own\r\n"), SAME(fail_take(), "Main mine\r\n"),
                SAME(capture.text(), UNTREATED + "B second\r\n\nMALFUNCTION:\nC third\r\n\n" + UNTREATED +
                                         "UrlGet: lost report\r\n\n")});
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
