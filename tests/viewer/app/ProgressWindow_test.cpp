#include "AppTestSupport.h"

#include "viewer/app/jobs/JobTexts.h"
#include "viewer/app/jobs/ProgressWindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

namespace {

// A job on a thread of its own that tells the window what a crawl tells it.
void RunJob(ProgressWindow& window, bool withProblem) {
    while (!window.Running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    window.SetLine(1, "Checking http://a.example/ ...");
    window.ItemsLeft(3);
    if (withProblem) window.AddMessage("http://a.example/x: Unable to contact remote computer.");
    window.SetLine(1, std::string());
    window.ItemsLeft(0);
    window.End();
    window.Finish();
}

TEST(ProgressWindow, ShowsItsTextsAndTwelveEmptyLines) {
    ScriptedAppPrompts prompts;
    ProgressWindow window(prompts);
    EXPECT_EQ(window.windowTitle(), "Vantlow");
    bool wait = false, messages = false, left = false;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        wait = wait || label->text() == job_text::kPleaseWait;
        messages = messages || label->text() == "Messages:";
        left = left || label->text() == "Left:";
    }
    EXPECT_TRUE(wait && messages && left);
    for (int i = 0; i < LoadProgress::kLines; i++) EXPECT_EQ(window.LineText(i), "");
    EXPECT_TRUE(window.StopButton()->isEnabled());
    EXPECT_TRUE(window.isModal());
}

TEST(ProgressWindow, ClosesByItselfAfterAJobWithoutProblems) {
    ScriptedAppPrompts prompts;
    ProgressWindow window(prompts);
    std::thread job([&] { RunJob(window, false); });
    ProgressRecord record;
    int result = ScriptedAppPrompts::RunProgressToEnd(window, record);
    job.join();
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(record.okPressed);
    EXPECT_FALSE(record.problems);
    EXPECT_EQ(record.left, "0");
    EXPECT_TRUE(prompts.asked.isEmpty());
}

TEST(ProgressWindow, WaitsForOkAfterAJobWithProblems) {
    ScriptedAppPrompts prompts;
    ProgressWindow window(prompts);
    std::thread job([&] { RunJob(window, true); });
    ProgressRecord record;
    int result = ScriptedAppPrompts::RunProgressToEnd(window, record);
    job.join();
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(record.okPressed);
    EXPECT_TRUE(record.problems);
    EXPECT_EQ(record.line0, "Some problems occurred.");
    EXPECT_EQ(record.messages, QStringList{"http://a.example/x: Unable to contact remote computer."});
    EXPECT_EQ(window.StopButton()->text(), "OK");
}

TEST(ProgressWindow, StaysOpenAfterProblemsUntilTheButtonIsPressed) {
    ScriptedAppPrompts prompts;
    ProgressWindow window(prompts);
    window.show();
    window.AddMessage("trouble");
    window.Finish();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.Finished());
    EXPECT_FALSE(window.StopRequested());
    EXPECT_EQ(window.LineText(0), "Some problems occurred.");
    EXPECT_TRUE(window.StopButton()->isEnabled());
    window.StopButton()->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), 1);
    EXPECT_TRUE(prompts.asked.isEmpty());
}

TEST(ProgressWindow, TheWorkersUpdatesArriveOnlyAsPostedEvents) {
    ScriptedAppPrompts prompts;
    ProgressWindow window(prompts);
    std::thread worker([&] {
        window.SetLine(3, "Loading http://b.example/ ...");
        window.ItemsLeft(7);
        window.AddMessage("a problem");
    });
    worker.join();
    // Nothing has touched a widget yet: the GUI thread has not run.
    EXPECT_EQ(window.LineText(3), "");
    EXPECT_EQ(window.LeftField()->text(), "");
    EXPECT_EQ(window.Messages()->count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.LineText(3), "Loading http://b.example/ ...");
    EXPECT_EQ(window.LeftField()->text(), "7");
    EXPECT_EQ(window.Messages()->count(), 1);
    EXPECT_TRUE(window.Problems());
}

TEST(ProgressWindow, UrlsAreShownExactlyAsTheyAre) {
    ScriptedAppPrompts prompts;
    ProgressWindow window(prompts);
    window.show();
    const std::string url = "Loading http://h.example/~user/a&b~~c ...";
    window.SetLine(0, url);
    window.SetLine(11, "~");
    QCoreApplication::processEvents();
    EXPECT_EQ(window.LineText(0).toStdString(), url);
    EXPECT_EQ(window.Line(0)->textFormat(), Qt::PlainText);
    EXPECT_EQ(window.Line(0)->buddy(), nullptr);
    EXPECT_EQ(window.LineText(11), "~");
}

TEST(ProgressWindow, LinesOutsideTheTwelveAreIgnored) {
    ScriptedAppPrompts prompts;
    ProgressWindow window(prompts);
    window.SetLine(-1, "x");
    window.SetLine(12, "y");
    QCoreApplication::processEvents();
    for (int i = 0; i < LoadProgress::kLines; i++) EXPECT_EQ(window.LineText(i), "");
}

TEST(ProgressWindow, PressingStopTwiceAsksOnce) {
    ScriptedAppPrompts prompts;
    prompts.answers = {true, true};
    ProgressWindow window(prompts);
    window.show();
    window.SetLine(0, "Checking http://a/ ...");
    window.SetLine(5, "Loading http://b/ ...");
    QCoreApplication::processEvents();
    window.StopButton()->click();
    EXPECT_EQ(prompts.asked, QStringList{"Do you really want to cancel loading?"});
    EXPECT_TRUE(window.StopRequested());
    EXPECT_FALSE(window.StopButton()->isEnabled());
    EXPECT_EQ(window.LineText(0), "Please wait for the current action to be completed...");
    EXPECT_EQ(window.LineText(5), "");
    // The button is off; even a press that gets through asks nothing.
    window.StopButton()->click();
    window.StopPressed();
    EXPECT_EQ(prompts.asked.size(), 1);
    EXPECT_TRUE(window.isVisible());
}

TEST(ProgressWindow, AnsweringNoKeepsTheJobGoingAndAsksAgainNextTime) {
    ScriptedAppPrompts prompts;
    prompts.answers = {false, false};
    ProgressWindow window(prompts);
    window.show();
    window.StopButton()->click();
    EXPECT_FALSE(window.StopRequested());
    EXPECT_TRUE(window.StopButton()->isEnabled());
    window.StopButton()->click();
    EXPECT_EQ(prompts.asked.size(), 2);
    EXPECT_FALSE(window.StopRequested());
}

TEST(ProgressWindow, EscapeAndClosingTheWindowAskLikeTheStopButton) {
    ScriptedAppPrompts prompts;
    prompts.answers = {false, true};
    ProgressWindow window(prompts);
    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(prompts.asked.size(), 1);
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(prompts.asked.size(), 2);
    EXPECT_TRUE(window.StopRequested());
}

TEST(ProgressWindow, StoppedJobWithoutProblemsClosesAtItsEnd) {
    ScriptedAppPrompts prompts;
    prompts.answers = {true};
    ProgressWindow window(prompts);
    window.show();
    window.StopButton()->click();
    window.Finish();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), 1);
}

TEST(ProgressWindow, AnEndThatArrivesWhileTheQuestionIsOpenWins) {
    ScriptedAppPrompts prompts;
    ProgressWindow window(prompts);
    window.show();
    window.AddMessage("trouble");
    QCoreApplication::processEvents();
    // The job ends while the user still reads the question, then says yes.
    struct EndDuringQuestion : ScriptedAppPrompts {
        ProgressWindow* window = nullptr;
        bool AskYesNo(QWidget* parent, const QString& text) override {
            window->Finish();
            QCoreApplication::processEvents();
            asked << text;
            return true;
        }
    } asking;
    ProgressWindow second(asking);
    asking.window = &second;
    second.show();
    second.AddMessage("trouble");
    QCoreApplication::processEvents();
    second.StopButton()->click();
    EXPECT_TRUE(second.Finished());
    EXPECT_FALSE(second.StopRequested());
    EXPECT_TRUE(second.StopButton()->isEnabled());
    EXPECT_EQ(second.StopButton()->text(), "OK");
    EXPECT_EQ(second.LineText(0), "Some problems occurred.");
}

TEST(ProgressWindow, StatusTextsAndErrorBoxesReachTheGuiThread) {
    ScriptedAppPrompts prompts;
    ProgressWindow window(prompts);
    QStringList statuses;
    window.statusSink = [&](const QString& text) { statuses << text; };
    std::thread worker([&] {
        window.PostStatus("An error occured while trying to connect.");
        window.PostError("The library is missing.");
    });
    worker.join();
    EXPECT_TRUE(statuses.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(statuses, QStringList{"An error occured while trying to connect."});
    EXPECT_EQ(prompts.errors, QStringList{"The library is missing."});
}

TEST(ProgressWindow, UpdatesQueuedForADestroyedWindowAreDropped) {
    ScriptedAppPrompts prompts;
    {
        ProgressWindow window(prompts);
        window.AddMessage("never shown");
        window.PostError("never shown either");
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(prompts.errors.isEmpty());
}

}  // namespace
