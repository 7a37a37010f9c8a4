#include "JobTestFixture.h"

#include "viewer/app/jobs/LoadJobs.h"

#include "viewer/app/dialup/DialTexts.h"
#include "viewer/app/jobs/JobTexts.h"
#include "viewer/app/jobs/SpinField.h"
#include "viewer/app/jobs/ProgressWindow.h"
#include "viewer/app/jobs/ScheduledJobWindow.h"

#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QLocale>
#include <QMdiSubWindow>

namespace {

using JobManagerTest = JobTest;

TEST_F(JobManagerTest, AddAnotherThreeTimesThenExecuteNowRunsFourJobsIntoFourWindowsInOrder) {
    for (int i = 0; i < 3; i++) prompts.dialogs.push_back(Fill(Url(i), NetLocationDialog::kAddAnother));
    prompts.dialogs.push_back(Fill(Url(3), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();

    EXPECT_EQ(prompts.dialogTitles, (QStringList{"Open a new Net location", "Open another Net location",
                                                 "Open another Net location", "Open another Net location"}));
    QList<QPointer<GraphWindow>> windows = manager->LastRunWindows();
    ASSERT_EQ(windows.size(), 4);
    EXPECT_EQ(window->GraphWindows().size(), 4);
    for (int i = 0; i < 4; i++) {
        ASSERT_TRUE(windows[i]);
        EXPECT_EQ(windows[i]->windowTitle().toStdString(), Url(i));
        ASSERT_NE(windows[i]->Graph().RootNode(), nullptr);
        EXPECT_EQ(windows[i]->Graph().RootNode()->url, Url(i));
        EXPECT_EQ(windows[i]->Graph().Nodes().size(), 2u);
        ASSERT_NE(NodeFor(*windows[i], Url(i, "page.html")), nullptr);
        EXPECT_EQ(NodeFor(*windows[i], Url(i, "page.html"))->kind, NodeKind::Html);
        EXPECT_TRUE(LaidOut(*windows[i]));
        EXPECT_FALSE(windows[i]->PaintingSuspended());
    }
    // One job after the other, in the order entered.
    std::vector<size_t> firstRequest(4, SIZE_MAX);
    std::vector<OriginServer::Request> log = origin->requests();
    for (size_t r = 0; r < log.size(); r++)
        for (int i = 0; i < 4; i++)
            if (log[r].path == "/s" + std::to_string(i) + "/index.html" && firstRequest[i] == SIZE_MAX)
                firstRequest[i] = r;
    for (int i = 1; i < 4; i++) EXPECT_LT(firstRequest[i - 1], firstRequest[i]);
    EXPECT_EQ(prompts.progressRuns.size(), 4u);
    for (const ProgressRecord& run : prompts.progressRuns) EXPECT_FALSE(run.okPressed);
    EXPECT_EQ(manager->EndOfLoadWindows().size(), 4);
    EXPECT_EQ(manager->RunsStarted(), 1);
    EXPECT_EQ(manager->JobsRun(), 4);
    EXPECT_FALSE(manager->Busy());
    EXPECT_FALSE(manager->Scheduled());
    EXPECT_EQ(window->StatusText(), "");
}

TEST_F(JobManagerTest, CancellingTheDialogRunsNothing) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kAddAnother));
    prompts.dialogs.push_back(Fill(Url(1), NetLocationDialog::kCancelled));
    manager->OpenNetLocation();
    EXPECT_EQ(manager->JobsRun(), 0);
    EXPECT_TRUE(window->GraphWindows().isEmpty());
    EXPECT_EQ(SiteRequests(), 0u);
    EXPECT_FALSE(manager->Busy());
}

TEST_F(JobManagerTest, DelayedRunWaitsInItsWindowAndStartsOnTheFirstTickAtOrAfterItsTime) {
    QDateTime start = now.addSecs(60);
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kAddAnother));
    prompts.dialogs.push_back(Fill(Url(1), NetLocationDialog::kExecuteDelayed));
    prompts.dialogs.push_back(At(start));
    manager->OpenNetLocation();

    ASSERT_TRUE(manager->Scheduled());
    EXPECT_EQ(manager->StartTime(), start);
    EXPECT_EQ(manager->ScheduledJobs().size(), 2u);
    EXPECT_TRUE(manager->Timer().isActive());
    EXPECT_EQ(manager->Timer().interval(), 10000);
    EXPECT_EQ(SiteRequests(), 0u);
    ScheduledJobWindow* jobWindow = manager->JobWindow();
    ASSERT_NE(jobWindow, nullptr);
    EXPECT_EQ(jobWindow->windowTitle(), "Scheduled Load Job");
    QStringList lines = jobWindow->LineTexts();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("The following URLs will be loaded on " +
                                    QLocale().toString(start.date(), QLocale::LongFormat) + " at "));
    EXPECT_TRUE(lines[0].endsWith(":00 ."));
    EXPECT_EQ(lines[1], "(To cancel the job, close this window.)");
    EXPECT_EQ(lines[2].toStdString(), Url(0));
    EXPECT_EQ(lines[3].toStdString(), Url(1));
    EXPECT_TRUE(qobject_cast<QMdiSubWindow*>(jobWindow->parentWidget()));

    now = start.addSecs(-1);
    manager->TimerTick();
    EXPECT_EQ(manager->JobsRun(), 0);
    EXPECT_TRUE(manager->Timer().isActive());
    now = start;
    manager->TimerTick();
    EXPECT_EQ(manager->JobsRun(), 2);
    EXPECT_FALSE(manager->Scheduled());
    EXPECT_FALSE(manager->Timer().isActive());
    EXPECT_TRUE(manager->ScheduledJobs().empty());
    ASSERT_EQ(manager->LastRunWindows().size(), 2);
    EXPECT_EQ(manager->LastRunWindows()[0]->windowTitle().toStdString(), Url(0));
    ProcessEventsUntil([&] { return manager->JobWindow() == nullptr; });
    EXPECT_EQ(manager->JobWindow(), nullptr);
    // The run happened once.
    now = start.addSecs(3600);
    manager->TimerTick();
    EXPECT_EQ(manager->JobsRun(), 2);
    EXPECT_EQ(manager->RunsStarted(), 1);
}

TEST_F(JobManagerTest, LateTickStillStartsTheRunOnce) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteDelayed));
    prompts.dialogs.push_back(At(now.addSecs(15)));
    manager->OpenNetLocation();
    now = now.addDays(2);
    manager->TimerTick();
    manager->TimerTick();
    EXPECT_EQ(manager->JobsRun(), 1);
}

TEST_F(JobManagerTest, ClosingTheJobWindowAndAnsweringNoKeepsTheRunWaiting) {
    QDateTime start = now.addSecs(600);
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteDelayed));
    prompts.dialogs.push_back(At(start));
    manager->OpenNetLocation();
    QMdiSubWindow* frame = qobject_cast<QMdiSubWindow*>(manager->JobWindow()->parentWidget());
    ASSERT_NE(frame, nullptr);

    prompts.answers = {false};
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(prompts.asked, QStringList{"Do you really want to cancel the scheduled job?"});
    EXPECT_TRUE(manager->Scheduled());
    EXPECT_NE(manager->JobWindow(), nullptr);
    EXPECT_TRUE(manager->Timer().isActive());

    prompts.answers = {true};
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(manager->Scheduled());
    EXPECT_TRUE(manager->ScheduledJobs().empty());
    EXPECT_FALSE(manager->Timer().isActive());
    now = start;
    manager->TimerTick();
    EXPECT_EQ(manager->JobsRun(), 0);
}

TEST_F(JobManagerTest, ClosingTheMainWindowAsksBeforeDroppingAWaitingRun) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteDelayed));
    prompts.dialogs.push_back(At(now.addSecs(600)));
    manager->OpenNetLocation();
    ASSERT_TRUE(manager->Scheduled());

    prompts.answers = {false};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(prompts.asked, QStringList{"Do you really want to cancel the scheduled job?"});
    EXPECT_TRUE(manager->Scheduled());
    EXPECT_NE(manager->JobWindow(), nullptr);

    prompts.answers = {true};
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(manager->Scheduled());
    EXPECT_TRUE(manager->ScheduledJobs().empty());
}

TEST_F(JobManagerTest, CancellingTheStartTimeRunsTheJobsNow) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteDelayed));
    prompts.dialogs.push_back(At(now.addSecs(60), false));
    manager->OpenNetLocation();
    EXPECT_FALSE(manager->Scheduled());
    EXPECT_EQ(manager->JobsRun(), 1);
    EXPECT_EQ(manager->JobWindow(), nullptr);
}

TEST_F(JobManagerTest, AStartTimeInThePastIsRefusedUntilALaterOneIsGiven) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteDelayed));
    QDateTime later = now.addSecs(120);
    prompts.dialogs.push_back([this, later](QDialog& dialog) {
        auto& when = dynamic_cast<StartTimeDialog&>(dialog);
        when.TimeField()->setTime(now.time().addSecs(-60));
        when.OkButton()->click();
        EXPECT_EQ(when.result(), 0);
        when.TimeField()->setTime(later.time());
        when.OkButton()->click();
        return when.result();
    });
    manager->OpenNetLocation();
    EXPECT_EQ(prompts.errors, QStringList{"The entered date is not valid."});
    EXPECT_TRUE(manager->Scheduled());
    EXPECT_EQ(manager->StartTime(), later);
}

TEST_F(JobManagerTest, WhileARunWaitsItIsNeitherOfferedAgainNorLostByAnotherDialog) {
    QDateTime start = now.addSecs(60);
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteDelayed));
    prompts.dialogs.push_back(At(start));
    manager->OpenNetLocation();

    bool delayedOffered = true;
    prompts.dialogs.push_back(Fill(Url(1), NetLocationDialog::kCancelled, [&](NetLocationDialog& dialog) {
        delayedOffered = dialog.ExecuteDelayedButton()->isVisible();
    }));
    manager->OpenNetLocation();
    EXPECT_FALSE(delayedOffered);
    EXPECT_TRUE(manager->Scheduled());
    EXPECT_EQ(manager->ScheduledJobs().size(), 1u);

    // An immediate run meanwhile runs only its own job.
    prompts.dialogs.push_back(Fill(Url(2), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    ASSERT_EQ(manager->LastRunWindows().size(), 1);
    EXPECT_EQ(manager->LastRunWindows()[0]->windowTitle().toStdString(), Url(2));
    EXPECT_TRUE(manager->Scheduled());

    now = start;
    manager->TimerTick();
    ASSERT_EQ(manager->LastRunWindows().size(), 1);
    EXPECT_EQ(manager->LastRunWindows()[0]->windowTitle().toStdString(), Url(0));
    EXPECT_EQ(manager->JobsRun(), 2);
}

TEST_F(JobManagerTest, GoingOfflineSwitchesTheProxyOfflineBeforeLoading) {
    prompts.dialogs.push_back(
        Fill(Url(0), NetLocationDialog::kExecuteNow, [](NetLocationDialog& d) { d.OnlineNo()->setChecked(true); }));
    manager->OpenNetLocation();
    std::vector<OriginServer::Request> log = origin->requests();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().target, "http://quaylo/options?offline=1");
    EXPECT_EQ(ModeSwitches(), std::vector<std::string>{"/options?offline=1"});

    prompts.dialogs.push_back(Fill(Url(1), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    EXPECT_EQ(ModeSwitches(), (std::vector<std::string>{"/options?offline=1", "/options?offline=0"}));
}

TEST_F(JobManagerTest, OnlyScheduledJobsDialWhenTheModeSaysSo) {
    SetDialing(DialMode::ScheduledOnly);
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    EXPECT_TRUE(ras.Dials().empty());
    EXPECT_EQ(SiteRequests(), 4u);

    prompts.dialogs.push_back(Fill(Url(1), NetLocationDialog::kExecuteDelayed));
    prompts.dialogs.push_back(At(now.addSecs(30)));
    manager->OpenNetLocation();
    EXPECT_TRUE(ras.Dials().empty());
    now = now.addSecs(30);
    manager->TimerTick();
    ASSERT_EQ(ras.Dials().size(), 1u);
    EXPECT_EQ(ras.Dials()[0].entryName, "Provider");
    EXPECT_EQ(ras.HangUps().size(), 1u);
    // Online for the crawl, offline again before the line goes.
    std::vector<std::string> switches = ModeSwitches();
    ASSERT_EQ(switches.size(), 3u);
    EXPECT_EQ(switches[1], "/options?offline=0");
    EXPECT_EQ(switches[2], "/options?offline=1");
    EXPECT_EQ(origin->requests().back().path, "/options?offline=1");
}

TEST_F(JobManagerTest, AlwaysDialsEvenForAnImmediateRunButNotForAnOfflineJob) {
    SetDialing(DialMode::Always);
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    EXPECT_EQ(ras.Dials().size(), 1u);
    EXPECT_EQ(ras.HangUps().size(), 1u);
    prompts.dialogs.push_back(
        Fill(Url(1), NetLocationDialog::kExecuteNow, [](NetLocationDialog& d) { d.OnlineNo()->setChecked(true); }));
    manager->OpenNetLocation();
    EXPECT_EQ(ras.Dials().size(), 1u);
}

TEST_F(JobManagerTest, UsingCurrentUserPassesNoLoginToTheDial) {
    DialSettings settings;
    settings.mode = DialMode::Always;
    settings.entryName = "Provider";
    settings.userName = "jane";
    settings.password = "pw";
    settings.domain = "HOME";
    settings.useCurrentUser = true;
    settings.Write(config);
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    ASSERT_EQ(ras.Dials().size(), 1u);
    EXPECT_EQ(ras.Dials()[0].userName, "");
    EXPECT_EQ(ras.Dials()[0].password, "");
    EXPECT_EQ(ras.Dials()[0].domain, "");
}

TEST_F(JobManagerTest, FailedDialEndsTheJobWithoutLoadingAndShowsTheError) {
    SetDialing(DialMode::Always);
    ras.states = {0, 1, 5};
    ras.stateError = 691;
    ras.errorTexts[691] = "The account is not permitted to dial in.";
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    EXPECT_EQ(SiteRequests(), 0u);
    EXPECT_TRUE(ModeSwitches().empty());
    EXPECT_EQ(ras.HangUps().size(), 1u);
    ASSERT_EQ(prompts.progressRuns.size(), 1u);
    EXPECT_TRUE(prompts.progressRuns[0].okPressed);
    EXPECT_EQ(prompts.progressRuns[0].line0, "Some problems occurred.");
    EXPECT_TRUE(prompts.progressRuns[0].messages.contains("The account is not permitted to dial in."));
    EXPECT_EQ(window->StatusText(), "The account is not permitted to dial in.");
    ASSERT_EQ(manager->LastRunWindows().size(), 1);
    EXPECT_TRUE(manager->LastRunWindows()[0]->Graph().Nodes().empty());
}

TEST_F(JobManagerTest, WithoutTheDialUpLibraryTheJobShowsTheErrorBoxAndLoadsNothing) {
    SetDialing(DialMode::Always);
    ras.available = false;
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    EXPECT_EQ(prompts.errors, QStringList{dial_text::kLibraryMissing});
    EXPECT_EQ(SiteRequests(), 0u);
    EXPECT_TRUE(ras.Dials().empty());
    EXPECT_TRUE(prompts.progressRuns.at(0).okPressed);
}

TEST_F(JobManagerTest, StoppingWhileDialingHangsUpAndLoadsNothing) {
    SetDialing(DialMode::Always);
    ras.answerDial = false;
    prompts.answers = {true};
    prompts.progress = [this](ProgressWindow& progress) {
        prompts.progressRuns.emplace_back();
        return ScriptedAppPrompts::RunProgressToEnd(progress, prompts.progressRuns.back(), [this](ProgressWindow& w) {
            if (!ras.Dials().empty() && w.StopButton()->isEnabled() && !w.Finished()) w.StopButton()->click();
        });
    };
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kAddAnother));
    prompts.dialogs.push_back(Fill(Url(1), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    EXPECT_EQ(prompts.asked, QStringList{"Do you really want to cancel loading?"});
    EXPECT_EQ(ras.Dials().size(), 1u);
    EXPECT_EQ(ras.HangUps().size(), 1u);
    EXPECT_EQ(SiteRequests(), 0u);
    // The stop cancels the rest of the run.
    EXPECT_EQ(manager->JobsRun(), 1);
    EXPECT_FALSE(prompts.progressRuns.at(0).okPressed);
}

TEST_F(JobManagerTest, StopInTheProgressWindowCancelsTheRemainingJobs) {
    origin->set("/s0/index.html", [] {
        OriginServer::Answer slow = OriginServer::document("<html><a href=page.html>x</a></html>");
        slow.delay_ms = 400;
        return slow;
    }());
    prompts.answers = {true};
    prompts.progress = [this](ProgressWindow& progress) {
        prompts.progressRuns.emplace_back();
        return ScriptedAppPrompts::RunProgressToEnd(progress, prompts.progressRuns.back(), [](ProgressWindow& w) {
            if (!w.LineText(0).isEmpty() && w.StopButton()->isEnabled() && !w.Finished()) w.StopButton()->click();
        });
    };
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kAddAnother));
    prompts.dialogs.push_back(Fill(Url(1), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    EXPECT_EQ(manager->JobsRun(), 1);
    EXPECT_EQ(window->GraphWindows().size(), 1);
    EXPECT_EQ(origin->request_count("/s1/index.html"), 0u);
    // Its graph is not laid out; the end-of-load window still offers it.
    ASSERT_EQ(manager->EndOfLoadWindows().size(), 1);
    EndOfLoadWindow* end = manager->EndOfLoadWindows()[0];
    EXPECT_TRUE(end->ShowGraphButton()->isVisibleTo(end));
    EXPECT_FALSE(manager->Busy());
}

TEST_F(JobManagerTest, ShowGraphAtOnceLeavesOnlyTheCloseButton) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow, [](NetLocationDialog& d) {
        d.ShowWithoutAsking()->setChecked(true);
    }));
    manager->OpenNetLocation();
    ASSERT_EQ(manager->EndOfLoadWindows().size(), 1);
    EndOfLoadWindow* end = manager->EndOfLoadWindows()[0];
    EXPECT_FALSE(end->ShowGraphButton()->isVisibleTo(end));
    EXPECT_EQ(end->CloseButton()->text(), "Close");
    QPointer<GraphWindow> graph = manager->LastRunWindows()[0];
    end->CloseButton()->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(graph);
}

TEST_F(JobManagerTest, ClosingTheEndOfLoadWindowBeforeShowingClosesTheGraph) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    EndOfLoadWindow* end = manager->EndOfLoadWindows().at(0);
    QPointer<GraphWindow> graph = manager->LastRunWindows()[0];
    EXPECT_TRUE(end->ShowGraphButton()->isVisibleTo(end));
    end->CloseButton()->click();
    ProcessEventsUntil([&] { return graph.isNull(); });
    EXPECT_TRUE(graph.isNull());
    EXPECT_TRUE(window->GraphWindows().isEmpty());
}

TEST_F(JobManagerTest, StartBrowserOpensTheStartUrlAndClosesTheWindow) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow, [](NetLocationDialog& d) {
        d.ShowWithoutAsking()->setChecked(true);
    }));
    manager->OpenNetLocation();
    QPointer<EndOfLoadWindow> end = manager->EndOfLoadWindows().at(0);
    end->BrowserButton()->click();
    EXPECT_EQ(environment->browserUrls, std::vector<std::string>{Url(0)});
    ProcessEventsUntil([&] { return end.isNull(); });
    EXPECT_TRUE(end.isNull());
    EXPECT_EQ(window->GraphWindows().size(), 1);
}

TEST_F(JobManagerTest, ExpandUrlLoadsIntoTheSameWindowWithTheNodesUrlFilledIn) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow, [](NetLocationDialog& d) {
        d.Levels()->Edit()->setText("0");
    }));
    manager->OpenNetLocation();
    GraphWindow* graph = manager->LastRunWindows().at(0);
    GraphNode* page = NodeFor(*graph, Url(0, "page.html"));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->kind, NodeKind::SameServer);
    EXPECT_EQ(origin->request_count("/s0/page.html"), 0u);

    QString shownUrl, title;
    bool delayed = true, another = true;
    prompts.dialogs.push_back(Fill("", NetLocationDialog::kExecuteNow, [&](NetLocationDialog& d) {
        shownUrl = d.UrlBox()->currentText();
        title = d.windowTitle();
        delayed = d.ExecuteDelayedButton()->isVisible();
        another = d.AddAnotherButton()->isVisible();
    }));
    manager->ExpandUrl(graph, page->url);
    EXPECT_EQ(shownUrl.toStdString(), Url(0, "page.html"));
    EXPECT_EQ(title, "Open another Net location");
    EXPECT_FALSE(delayed);
    EXPECT_FALSE(another);
    EXPECT_EQ(window->GraphWindows().size(), 1);
    EXPECT_GE(origin->request_count("/s0/page.html"), 1u);
    EXPECT_EQ(NodeFor(*graph, Url(0, "page.html"))->kind, NodeKind::Html);
    EXPECT_EQ(graph->Graph().Nodes().size(), 2u);
    // The window is on view: its end-of-load window never closes it.
    EndOfLoadWindow* end = manager->EndOfLoadWindows().last();
    EXPECT_FALSE(end->ShowGraphButton()->isVisibleTo(end));
    end->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->GraphWindows().size(), 1);
}

TEST_F(JobManagerTest, AddAnotherNetLocationRunsIntoTheActiveWindow) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    GraphWindow* graph = manager->LastRunWindows().at(0);
    prompts.dialogs.push_back(Fill(Url(1), NetLocationDialog::kExecuteNow));
    manager->AddNetLocation(graph);
    EXPECT_EQ(window->GraphWindows().size(), 1);
    EXPECT_EQ(graph->Graph().Nodes().size(), 4u);
    EXPECT_NE(NodeFor(*graph, Url(1, "page.html")), nullptr);
    EXPECT_TRUE(LaidOut(*graph));

    // Cancelling the dialog leaves the window alone.
    prompts.dialogs.push_back(Fill(Url(2), NetLocationDialog::kCancelled));
    manager->AddNetLocation(graph);
    EXPECT_EQ(graph->Graph().Nodes().size(), 4u);
    EXPECT_EQ(manager->JobsRun(), 2);
}

TEST_F(JobManagerTest, CommandsWhileBusyAreRefusedAndTheRunGoesOn) {
    int refusedDialogs = -1;
    prompts.progress = [&](ProgressWindow& progress) {
        prompts.progressRuns.emplace_back();
        int before = prompts.dialogTitles.size();
        manager->OpenNetLocation();
        manager->ConfigureInternet();
        manager->AddNetLocation(window->GraphWindows().value(0));
        refusedDialogs = prompts.dialogTitles.size() - before;
        return ScriptedAppPrompts::RunProgressToEnd(progress, prompts.progressRuns.back());
    };
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow));
    manager->OpenNetLocation();
    EXPECT_EQ(refusedDialogs, 0);
    EXPECT_EQ(manager->JobsRun(), 1);
    EXPECT_EQ(window->GraphWindows().size(), 1);
}

TEST_F(JobManagerTest, TimerTickWhileBusyWaitsForTheNextTick) {
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteDelayed));
    prompts.dialogs.push_back(At(now.addSecs(10)));
    manager->OpenNetLocation();
    now = now.addSecs(10);
    // A tick while the user is in the dialog loop does not start the run.
    prompts.dialogs.push_back([this](QDialog& dialog) {
        manager->TimerTick();
        EXPECT_EQ(manager->JobsRun(), 0);
        EXPECT_TRUE(manager->Timer().isActive());
        dialog.reject();
        return 0;
    });
    manager->OpenNetLocation();
    EXPECT_TRUE(manager->Scheduled());
    manager->SetEnabled(false);
    manager->TimerTick();
    EXPECT_EQ(manager->JobsRun(), 0);
    manager->SetEnabled(true);
    manager->TimerTick();
    EXPECT_EQ(manager->JobsRun(), 1);
}

TEST_F(JobManagerTest, ConfigureInternetRunsTheWizardOnGroupDial) {
    ras.entries = {"Provider"};
    prompts.dialogs.push_back([](QDialog& dialog) {
        dialog.reject();
        return dialog.result();
    });
    manager->ConfigureInternet();
    EXPECT_EQ(prompts.dialogTitles, QStringList{"Configure Internet Connection"});
    EXPECT_EQ(config.Read("Dial", "CareAboutDialing"), "");
}

TEST_F(JobManagerTest, MenuCommandsOfTheMainWindowReachTheManager) {
    ConnectJobCommands(*window, *manager);
    prompts.dialogs.push_back(Fill(Url(0), NetLocationDialog::kExecuteNow));
    window->Command(103);
    EXPECT_EQ(manager->JobsRun(), 1);
    prompts.dialogs.push_back(Fill(Url(1), NetLocationDialog::kExecuteNow));
    window->Command(130);
    EXPECT_EQ(manager->JobsRun(), 2);
    EXPECT_EQ(window->GraphWindows().size(), 1);
    prompts.dialogs.push_back([](QDialog& dialog) { return 0; });
    window->Command(266);
    EXPECT_EQ(prompts.dialogTitles.last(), "Configure Internet Connection");
}

}  // namespace

namespace {

TEST(LoadJobsWiring, InstalledOntoTheMainWindowWithTheRealBackendWhichThisSystemLacks) {
    AppTempDir dir;
    IniFile config(dir.File("vantlow.ini"));
    QuietUserPrompts userPrompts;
    auto window = std::make_unique<MainWindow>(userPrompts, config);
    QPointer<LoadJobs> jobs = InstallLoadJobs(*window, config, ProxyAddress{"127.0.0.1", 9});
    ASSERT_TRUE(jobs);
    EXPECT_EQ(jobs->parent(), window.get());
    EXPECT_TRUE(window->jobs.openNetLocation);
    EXPECT_TRUE(window->jobs.addNetLocation);
    EXPECT_TRUE(window->jobs.expandUrl);
    EXPECT_TRUE(window->jobs.configureInternet);
    std::vector<std::string> names;
    std::string error;
    EXPECT_EQ(jobs->Manager().Dialer().ListConnections(names, error), DialUp::ListResult::LibraryMissing);
    // The window takes the load jobs with it.
    window.reset();
    EXPECT_TRUE(jobs.isNull());
}

TEST(LoadJobsWiring, CommandsAfterTheManagerIsGoneDoNothing) {
    AppTempDir dir;
    IniFile config(dir.File("vantlow.ini"));
    QuietUserPrompts userPrompts;
    MainWindow window(userPrompts, config);
    LoadJobs* jobs = InstallLoadJobs(window, config, ProxyAddress{"127.0.0.1", 9});
    delete jobs;
    window.Command(103);
    window.Command(266);
    EXPECT_TRUE(window.GraphWindows().isEmpty());
}

}  // namespace
