#include "foundation/Fail.h"

#include "testsupport/StderrCapture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

const std::string UNTREATED =
    "The error-handler detected an untreated malfunction. This might\n"
    "be harmless, but if the program should crash, please remember\n"
    "the following error-message for your bug-report";

class FailTest : public ::testing::Test {
protected:
    void SetUp() override { fail_take(); }
    void TearDown() override { fail_take(); }
};

TEST_F(FailTest, TakeWithNothingReportedIsEmpty) {
    EXPECT_STREQ(fail_take(), "");
    EXPECT_FALSE(fail_pending());
}

TEST_F(FailTest, NewReportEndsWithCrLfAndIsTakenOnce) {
    fail_new("Cache::load ", "unable to read 'x'");
    EXPECT_TRUE(fail_pending());
    EXPECT_STREQ(fail_take(), "Cache::load unable to read 'x'\r\n");
    EXPECT_FALSE(fail_pending());
    EXPECT_STREQ(fail_take(), "");
}

TEST_F(FailTest, ChainPutsTheOuterReportFirst) {
    fail_new("OFileStream::ewrite ", "write-error");
    fail_chain("BufWriteable::flush ", "error while flushing buffer");
    fail_chain("ObjectDrain << Cache ", "unable to write instance");
    EXPECT_EQ(std::string(fail_take()),
              "ObjectDrain << Cache unable to write instance, reason:\r\n"
              " BufWriteable::flush error while flushing buffer, reason:\r\n"
              " OFileStream::ewrite write-error\r\n");
}

TEST_F(FailTest, ChainWithNothingPendingEndsLikeNew) {
    fail_chain("Relais: ", "cannot start");
    EXPECT_STREQ(fail_take(), "Relais: cannot start\r\n");
}

TEST_F(FailTest, TakenTextStaysReadableUntilTheNextReport) {
    fail_new("A ", "first");
    const char* taken = fail_take();
    fail_new("B ", "second");
    EXPECT_STREQ(taken, "A first\r\n");
    EXPECT_STREQ(fail_take(), "B second\r\n");
}

TEST_F(FailTest, OverlongMessageIsCutWithoutLineEnd) {
    std::string message(2000, 'm');
    fail_new("X ", message.c_str());
    std::string text = fail_take();
    ASSERT_EQ(text.size(), size_t(FAIL_TEXT_MAX));
    EXPECT_EQ(text, ("X " + message).substr(0, FAIL_TEXT_MAX));
}

TEST_F(FailTest, OverlongChainKeepsTheOutermostReports) {
    fail_new("Inner ", std::string(900, 'i').c_str());
    fail_chain("Outer ", std::string(300, 'o').c_str());
    std::string text = fail_take();
    ASSERT_EQ(text.size(), size_t(FAIL_TEXT_MAX));
    EXPECT_EQ(text.substr(0, 6 + 300), "Outer " + std::string(300, 'o'));
    EXPECT_EQ(text.substr(306, 12), ", reason:\r\n ");
    EXPECT_EQ(text.back(), 'i');
}

TEST_F(FailTest, MessageJustBelowTheLimitGetsItsLineEnd) {
    std::string message(1016, 'a'); // 2 + 1016 = 1018 < 1019
    fail_new("X ", message.c_str());
    std::string text = fail_take();
    EXPECT_EQ(text.size(), 1020u);
    EXPECT_EQ(text.substr(1018), "\r\n");
}

TEST_F(FailTest, PrintWritesMalfunctionHeaderAndTakesTheReport) {
    fail_new("Socket::eread ", "read-error");
    StderrCapture capture;
    fail_print();
    EXPECT_EQ(capture.text(), "MALFUNCTION:\nSocket::eread read-error\r\n\n");
    EXPECT_FALSE(fail_pending());
}

TEST_F(FailTest, SecondNewPrintsTheFirstAsUntreated) {
    StderrCapture capture;
    fail_new("A ", "first");
    fail_new("B ", "second");
    EXPECT_EQ(capture.text(), "MALFUNCTION:\n" + UNTREATED + ", reason:\r\n A first\r\n\n");
    EXPECT_STREQ(fail_take(), "B second\r\n");
}

TEST_F(FailTest, ReportsOfOneThreadAreNotSeenByAnother) {
    fail_new("Main ", "mine");
    std::string seen_by_worker = "unset";
    std::thread worker([&] {
        seen_by_worker = fail_take();
        fail_new("Worker ", "its own");
        seen_by_worker += "|";
        seen_by_worker += fail_take();
    });
    worker.join();
    EXPECT_EQ(seen_by_worker, "|Worker its own\r\n");
    EXPECT_STREQ(fail_take(), "Main mine\r\n");
}

TEST_F(FailTest, ThreadEndingWithAPendingReportPrintsIt) {
    StderrCapture capture;
    std::thread worker([] { fail_new("UrlGet: ", "lost report"); });
    worker.join();
    EXPECT_EQ(capture.text(), "MALFUNCTION:\n" + UNTREATED + ", reason:\r\n UrlGet: lost report\r\n\n");
}

TEST(FailExitTest, PendingReportIsPrintedAtProcessExit) {
    EXPECT_EXIT(
        {
            fail_new("Cache::store ", "cannot write");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "untreated malfunction.*Cache::store cannot write");
}

} // namespace
