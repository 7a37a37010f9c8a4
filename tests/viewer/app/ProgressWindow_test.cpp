#include "AppTestSupport.h"

#include "viewer/app/jobs/JobTexts.h"
#include "viewer/app/jobs/ProgressWindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

TEST(ProgressWindow, AJobOnItsOwnThreadClosesTheWindowOrLeavesItWaitingAfterProblems) {
    for (bool problem : {false, true}) {
        ScriptedAppPrompts prompts;
        ProgressWindow window(prompts);
        QStringList texts;
        for (QLabel* label : window.findChildren<QLabel*>()) texts << label->text();
        EXPECT_TRUE(texts.contains(job_text::kPleaseWait) && texts.contains("Messages:") && texts.contains("Left:"));
        std::thread job([&] {
            while (!window.Running()) std::this_thread::yield();
            window.SetLine(1, "Checking http://a.example/ ...");
            window.ItemsLeft(3);
            if (problem) window.AddMessage("http://a.example/x: Unable to contact remote computer.");
            window.ItemsLeft(0);
            window.Finish();
        });
        ProgressRecord record;
        EXPECT_EQ(ScriptedAppPrompts::RunProgressToEnd(window, record), 1);
        job.join();
        EXPECT_EQ(record.okPressed, problem);
        EXPECT_EQ(record.problems, problem);
        EXPECT_EQ(record.line0, problem ? "Some problems occurred." : "");
        EXPECT_EQ(record.messages.size(), problem ? 1 : 0);
        EXPECT_EQ(window.StopButton()->text(), problem ? "OK" : "Stop");
        EXPECT_EQ(window.LeftField()->text(), "0");
        EXPECT_TRUE(prompts.asked.isEmpty());
    }
}

TEST(ProgressWindow, UpdatesFromOtherThreadsArriveAsPostedEventsOnly) {
    ScriptedAppPrompts prompts;
    QStringList statuses;
    {
        ProgressWindow gone(prompts);  // what was queued for a window that is gone is dropped
        gone.AddMessage("never shown");
        gone.PostError("never shown either");
    }
    ProgressWindow window(prompts);
    window.statusSink = [&](const QString& text) { statuses << text; };
    const std::string url = "Loading http://h.example/~user/a&b~~c ...";
    std::thread worker([&] {
        window.SetLine(3, url);
        window.SetLine(-1, "x");
        window.SetLine(12, "y");
        window.ItemsLeft(7);
        window.AddMessage("a problem");
        window.PostStatus("An error occured while trying to connect.");
        window.PostError("The library is missing.");
    });
    worker.join();
    EXPECT_EQ(window.LineText(3) + window.LeftField()->text(), "");  // the GUI thread has not run yet
    EXPECT_EQ(window.Messages()->count() + statuses.size() + prompts.errors.size(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.LineText(3).toStdString(), url);  // exactly as it is: "~" is no mnemonic
    EXPECT_EQ(window.Line(3)->textFormat(), Qt::PlainText);
    for (int i = 0; i < LoadProgress::kLines; i++) EXPECT_EQ(window.LineText(i).isEmpty(), i != 3) << i;
    EXPECT_EQ(window.LeftField()->text(), "7");
    EXPECT_EQ(window.Messages()->count(), 1);
    EXPECT_TRUE(window.Problems());
    EXPECT_EQ(statuses, QStringList{"An error occured while trying to connect."});
    EXPECT_EQ(prompts.errors, QStringList{"The library is missing."});
}

TEST(ProgressWindow, StopAsksOnceAndEscapeOrClosingAskAsWell) {
    ScriptedAppPrompts prompts;
    prompts.answers = {false, false, false, true};
    ProgressWindow window(prompts);
    window.show();
    window.SetLine(0, "Checking http://a/ ...");
    window.SetLine(5, "Loading http://b/ ...");
    QCoreApplication::processEvents();
    window.StopButton()->click();  // no: the job goes on
    QTest::keyClick(&window, Qt::Key_Escape);
    window.close();
    EXPECT_EQ(prompts.asked.size(), 3);
    EXPECT_FALSE(window.StopRequested());
    EXPECT_TRUE(window.isVisible());
    window.StopButton()->click();  // yes
    EXPECT_EQ(prompts.asked, QStringList(4, "Do you really want to cancel loading?"));
    EXPECT_TRUE(window.StopRequested());
    EXPECT_FALSE(window.StopButton()->isEnabled());
    EXPECT_EQ(window.LineText(0) + window.LineText(5), "Please wait for the current action to be completed...");
    window.StopPressed();  // the button is off: even a press that gets through asks nothing
    EXPECT_EQ(prompts.asked.size(), 4);
    window.Finish();  // a stopped job without problems closes at its end
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), 1);
}

TEST(ProgressWindow, AnEndThatArrivesWhileTheQuestionIsOpenWins) {
    struct EndDuringQuestion : ScriptedAppPrompts {
        ProgressWindow* window = nullptr;
        bool AskYesNo(QWidget*, const QString&) override {
            window->Finish();
            QCoreApplication::processEvents();
            return true;
        }
    } asking;
    ProgressWindow window(asking);
    asking.window = &window;
    window.show();
    window.AddMessage("trouble");
    QCoreApplication::processEvents();
    window.StopButton()->click();
    EXPECT_TRUE(window.Finished());
    EXPECT_FALSE(window.StopRequested());
    EXPECT_TRUE(window.StopButton()->isEnabled());
    EXPECT_EQ(window.StopButton()->text() + " " + window.LineText(0), "OK Some problems occurred.");
    EXPECT_TRUE(window.isVisible());
    window.StopButton()->click();
    EXPECT_FALSE(window.isVisible());
}
