// Load jobs as the user runs them: the "Open a new Net location" dialog from
// the main window's commands, the progress window, the end-of-load window,
// delayed runs and dialing through the fake backend. The small site's server
// also plays the proxy; one journey crawls through the real harbord.
#include "AppTestSupport.h"
#include "FakeRas.h"

#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/SiteGenerator.h"
#include "testsupport/TempDir.h"
#include "viewer/app/dialup/DialTexts.h"
#include "viewer/app/jobs/JobEnvironment.h"
#include "viewer/app/jobs/JobManager.h"
#include "viewer/app/jobs/LoadJobs.h"
#include "viewer/app/jobs/NetLocationDialog.h"
#include "viewer/app/jobs/ProgressWindow.h"
#include "viewer/app/jobs/SpinField.h"
#include "viewer/app/jobs/StartTimeDialog.h"
#include "viewer/gui/CommandIds.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/MainWindow.h"
#include "viewer/loader/Crawler.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>

#include <gtest/gtest.h>

#include <set>

namespace {

using Button = QPushButton* (NetLocationDialog::*)() const;
constexpr Button kNow = &NetLocationDialog::ExecuteNowButton, kDelayed = &NetLocationDialog::ExecuteDelayedButton,
                 kAnother = &NetLocationDialog::AddAnotherButton, kCancel = &NetLocationDialog::CancelButton;

class RecordingEnvironment : public MainWindowEnvironment {
public:
    using MainWindowEnvironment::MainWindowEnvironment;
    bool StartBrowser(QWidget*, const std::string& url) override { return browsed.push_back(url), true; }
    std::vector<std::string> browsed;
};

class LoadJobTest : public ::testing::Test {
protected:
    LoadJobTest() {
        for (std::string site : {"/s0", "/s1", "/s2", "/s3", "/s4"}) {
            std::filesystem::create_directories(dir.path() + site);
            write_file(dir.path() + site + "/index.html", "<title>Site</title><a href=page.html>page</a>");
            write_file(dir.path() + site + "/page.html", "leaf");
        }
        for (const char* mode : {"/options?offline=0", "/options?offline=1"}) origin.set(mode, OriginServer::document(mode));
        window.show();
        UseProxy(origin.port(), ras);
    }
    void UseProxy(uint16_t port, RasApi& backend) {
        manager = std::make_unique<JobManager>(environment, config, prompts, backend, ProxyAddress{"127.0.0.1", port});
        manager->SetClock([this] { return now; });
        ConnectJobCommands(window, *manager);
    }
    std::string Url(int site, const std::string& file = "index.html") const {
        return origin.url("/s" + std::to_string(site) + "/" + file);
    }
    // The next "Open a new Net location" dialog: the URL, further choices, then a button.
    void Enter(const std::string& url, Button button = kNow, const std::function<void(NetLocationDialog&)>& more = {}) {
        prompts.dialogs.push_back([=](QDialog& dialog) {
            auto& location = dynamic_cast<NetLocationDialog&>(dialog);
            location.show();
            if (!url.empty()) location.UrlBox()->setEditText(QString::fromStdString(url));
            if (more) more(location);
            (location.*button)()->click();
            return location.result();
        });
    }
    // The next start-time dialog: OK with each of the times in turn, or Cancel.
    void StartAt(std::vector<QDateTime> times, bool ok = true) {
        prompts.dialogs.push_back([times, ok](QDialog& dialog) {
            auto& when = dynamic_cast<StartTimeDialog&>(dialog);
            for (const QDateTime& time : times) {
                when.DayField()->setDate(time.date());
                when.TimeField()->setTime(time.time());
                (ok ? when.OkButton() : when.CancelButton())->click();
            }
            return when.result();
        });
    }
    // The path of each request to the server, mode switches as "?offline=N".
    std::string Asked() const {
        std::string paths;
        for (const auto& request : origin.requests())
            paths += " " + request.path.substr(request.path.rfind("/options", 0) == 0 ? 8 : 0);
        return paths;
    }
    static GraphNode* NodeFor(const GraphWindow* graph, const std::string& url) {
        for (const auto& node : graph->Graph().Nodes())
            if (node->url == url) return node.get();
        return nullptr;
    }
    static bool LaidOut(const GraphWindow* graph) {
        std::set<std::pair<int, int>> corners;
        for (const auto& node : graph->Graph().Nodes()) corners.insert({node->Box().left, node->Box().top});
        return corners.size() > 1 && corners.size() == graph->Graph().Nodes().size() && !graph->PaintingSuspended();
    }

    TempDir dir;
    OriginServer origin{dir.path()};
    IniFile config{dir.file("vantlow.ini")};
    QuietUserPrompts userPrompts;
    ScriptedAppPrompts prompts;
    FakeRas ras;
    QDateTime now{QDate(2026, 5, 1), QTime(22, 0, 0)};
    MainWindow window{userPrompts, config};
    RecordingEnvironment environment{window};
    std::unique_ptr<JobManager> manager;
};

}  // namespace

TEST_F(LoadJobTest, ADialogFromTheMenuCrawlsThroughHarbordIntoALaidOutWindowAndOfflineFromItsCache) {
    TempDir siteDir;
    OriginServer server(siteDir.path());
    GeneratedSite site = GenerateSite(siteDir.path(), server.port(), SiteShape{24, 3, 2, 7});
    site.ApplyTo(server);
    e2e::Harbord harbord;
    UseProxy(harbord.port(), ras);
    for (bool online : {true, false}) {
        Enter(site.StartUrl().substr(7), kNow, [online](NetLocationDialog& d) {  // typed without a scheme
            d.Levels()->Edit()->setText("2");
            (online ? d.OnlineYes() : d.OnlineNo())->setChecked(true);
        });
        size_t asked = server.request_count();
        window.Command(cmd::kOpenNetLocation);
        EXPECT_TRUE(online || server.request_count() == asked);  // offline: from harbord's cache only
    }
    SiteGraph reference;  // the same job without a window draws the same nodes
    LoadSettings settings;
    settings.startUrl = site.StartUrl(), settings.levels = 2;
    ProgressWindow quiet(prompts);
    Crawler(reference).RunLoadJob(settings, quiet, ProxyAddress{"127.0.0.1", harbord.port()});
    ASSERT_EQ(window.GraphWindows().size(), 2);
    for (GraphWindow* graph : window.GraphWindows()) {
        EXPECT_EQ(graph->windowTitle().toStdString() + " " + graph->Graph().RootNode()->url, site.StartUrl() + " " + site.StartUrl());
        EXPECT_EQ(graph->Graph().Nodes().size(), reference.Nodes().size());
        for (const std::string& path : site.PathsWithinLevels(2)) {
            EXPECT_EQ(NodeFor(graph, site.base + path) ? NodeFor(graph, site.base + path)->kind : NodeKind(-1), NodeKind::Html);
            EXPECT_FALSE(harbord.cache_files_for(site.base + path).empty()) << path;
        }
        EXPECT_TRUE(LaidOut(graph));
    }
    for (const ProgressRecord& run : prompts.progressRuns) EXPECT_FALSE(run.okPressed) << run.messages.join("\n").toStdString();
    EXPECT_EQ(prompts.progressRuns.size(), 2u);
    EXPECT_EQ(window.StatusText(), "");
    EXPECT_EQ(config.Read("ParsedURLs", "URL0"), site.StartUrl());  // remembered with its scheme
}

TEST_F(LoadJobTest, JobsCollectedWithAddAnotherRunInOrderEachIntoItsOwnWindow) {
    for (int i = 0; i < 3; i++) Enter(Url(i), kAnother);
    Enter(Url(3));
    manager->OpenNetLocation();
    EXPECT_EQ(prompts.dialogTitles, QStringList({"Open a new Net location", "Open another Net location",
                                                 "Open another Net location", "Open another Net location"}));
    std::string expected;
    for (std::string site : {"/s0", "/s1", "/s2", "/s3"})
        expected += " ?offline=0 " + site + "/index.html " + site + "/index.html " + site + "/page.html " + site + "/page.html";
    EXPECT_EQ(Asked(), expected);
    ASSERT_EQ(manager->LastRunWindows().size(), 4);
    for (int i = 0; i < 4; i++) {
        GraphWindow* graph = manager->LastRunWindows()[i];
        EXPECT_EQ(graph->windowTitle().toStdString() + " " + graph->Graph().RootNode()->url, Url(i) + " " + Url(i));
        EXPECT_EQ(graph->Graph().Nodes().size(), 2u);
        EXPECT_EQ(NodeFor(graph, Url(i, "page.html"))->kind, NodeKind::Html);
        EXPECT_TRUE(LaidOut(graph));
    }
    EXPECT_EQ(window.GraphWindows().size(), manager->EndOfLoadWindows().size());
    EXPECT_EQ(manager->RunsStarted(), 1);
    EXPECT_FALSE(manager->Busy() || manager->Scheduled());
    Enter(Url(4), kAnother);  // cancelling drops what was collected
    Enter(Url(4), kCancel);
    manager->OpenNetLocation();
    EXPECT_EQ(manager->JobsRun(), 4);
    EXPECT_EQ(origin.request_count("/s4/index.html"), 0u);
}

TEST_F(LoadJobTest, ADelayedRunWaitsInItsWindowAndStartsOnTheFirstTickAtItsTime) {
    const QDateTime start = now;
    Enter(Url(0), kAnother);
    Enter(Url(1), kDelayed);
    StartAt({now.addSecs(-1), now});  // a second ago is refused, this second is not the past
    manager->OpenNetLocation();
    EXPECT_EQ(prompts.errors, QStringList{"The entered date is not valid."});
    ASSERT_TRUE(manager->Scheduled());
    EXPECT_EQ(manager->StartTime(), start);
    EXPECT_TRUE(manager->Timer().isActive());
    EXPECT_EQ(origin.request_count(), 0u);
    ScheduledJobWindow* jobWindow = manager->JobWindow();
    ASSERT_TRUE(jobWindow && qobject_cast<QMdiSubWindow*>(jobWindow->parentWidget()));
    EXPECT_EQ(jobWindow->windowTitle(), "Scheduled Load Job");
    const QStringList lines = jobWindow->LineTexts();
    EXPECT_TRUE(lines.value(0).startsWith("The following URLs will be loaded on " +
                                          QLocale().toString(start.date(), QLocale::LongFormat) + " at 22:00:00"));
    EXPECT_EQ(lines.mid(1), QStringList({"(To cancel the job, close this window.)", Url(0).c_str(), Url(1).c_str()}));

    // Meanwhile: closing its window and answering no keeps it; another dialog
    // neither offers a delayed run nor runs this one; a tick while the user
    // is in that dialog, while disabled, or before the time waits.
    prompts.answers = {false};
    EXPECT_FALSE(jobWindow->parentWidget()->close());
    EXPECT_EQ(prompts.asked, QStringList{"Do you really want to cancel the scheduled job?"});
    Enter(Url(2), kNow, [this](NetLocationDialog& d) {
        EXPECT_FALSE(d.ExecuteDelayedButton()->isVisible());
        manager->TimerTick();
    });
    manager->OpenNetLocation();
    EXPECT_EQ(manager->LastRunWindows().value(0)->windowTitle().toStdString(), Url(2));
    manager->SetEnabled(false);
    manager->TimerTick();
    manager->SetEnabled(true);
    now = start.addSecs(-1);
    manager->TimerTick();
    EXPECT_TRUE(manager->Scheduled() && manager->Timer().isActive());
    EXPECT_EQ(manager->JobsRun(), 1);
    now = start.addDays(2);  // a late tick still starts it, once
    manager->TimerTick();
    manager->TimerTick();
    EXPECT_EQ(manager->JobsRun() * 10 + manager->RunsStarted(), 32);
    EXPECT_EQ(manager->LastRunWindows().value(1)->windowTitle().toStdString(), Url(1));
    EXPECT_FALSE(manager->Scheduled() || manager->Timer().isActive());
    EXPECT_TRUE(ProcessEventsUntil([&] { return manager->JobWindow() == nullptr; }));

    // Closing the main window asks too; a cancelled start time runs the jobs at once.
    Enter(Url(3), kDelayed);
    StartAt({now.addSecs(600)});
    manager->OpenNetLocation();
    prompts.answers = {false, true};
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(manager->Scheduled());
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(manager->Scheduled() || manager->Timer().isActive());
    Enter(Url(3), kDelayed);
    StartAt({now}, false);
    manager->OpenNetLocation();
    EXPECT_EQ(manager->JobsRun(), 4);
    EXPECT_EQ(prompts.asked.size(), 3);
}

TEST_F(LoadJobTest, DialingFollowsTheModeAndAFailedDialLoadsNothing) {
    const std::string pages = " /s0/index.html /s0/index.html /s0/page.html /s0/page.html", crawl = " ?offline=0" + pages;
    struct Case {
        DialMode mode;
        bool delayed, online;
        std::function<void(FakeRas&)> backend;
        std::string asked;  // mode switches and documents
        size_t dials;
        QString problem;  // in the message list and the status bar, or in an error box
    } cases[] = {
        {DialMode::ScheduledOnly, false, true, {}, crawl, 0, ""},
        {DialMode::ScheduledOnly, true, true, {}, crawl + " ?offline=1", 1, ""},
        {DialMode::Always, false, false, {}, " ?offline=1" + pages, 0, ""},
        {DialMode::Always, false, true, [](FakeRas& r) { r.states = {0, 5}, r.stateError = 691, r.errorTexts[691] = "No."; },
         "", 1, "No."},
        {DialMode::Always, false, true, [](FakeRas& r) { r.available = false; }, "", 0, dial_text::kLibraryMissing},
        {DialMode::Always, false, true, [](FakeRas& r) { r.answerDial = false; }, "", 1, ""},  // stopped while dialing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        FakeRas backend;
        if (c.backend) c.backend(backend);
        UseProxy(origin.port(), backend);
        origin.clear_log();
        prompts.progressRuns.clear();
        prompts.errors.clear();
        environment.ShowStatus("");
        DialSettings{"jane", "pw", "HOME", "Provider", true, c.mode}.Write(config);
        prompts.answers = {true};
        prompts.progress = [&](ProgressWindow& progress) {
            prompts.progressRuns.emplace_back();
            return ScriptedAppPrompts::RunProgressToEnd(progress, prompts.progressRuns.back(), [&](ProgressWindow& w) {
                if (!backend.answerDial && !backend.Dials().empty() && w.StopButton()->isEnabled()) w.StopButton()->click();
            });
        };
        Enter(Url(0), c.delayed ? kDelayed : kNow, [&](NetLocationDialog& d) { (c.online ? d.OnlineYes() : d.OnlineNo())->setChecked(true); });
        if (c.delayed) StartAt({now});
        manager->OpenNetLocation();
        manager->TimerTick();
        EXPECT_EQ(Asked(), c.asked);
        EXPECT_EQ(backend.Dials(), std::vector<std::string>(c.dials, "Provider|||"));  // the current user's login
        EXPECT_EQ(backend.HangUps().size(), c.dials);
        ASSERT_EQ(prompts.progressRuns.size(), 1u);
        EXPECT_EQ(prompts.progressRuns[0].okPressed, !c.problem.isEmpty());
        EXPECT_TRUE(c.problem.isEmpty() || prompts.progressRuns[0].line0 == "Some problems occurred.");
        EXPECT_EQ(prompts.progressRuns[0].messages, c.problem.isEmpty() ? QStringList() : QStringList{c.problem});
        const bool boxed = c.problem == dial_text::kLibraryMissing;
        EXPECT_EQ(prompts.errors, boxed ? QStringList{c.problem} : QStringList());
        EXPECT_EQ(window.StatusText(), boxed ? "" : c.problem);
        manager.reset();
    }
}

TEST_F(LoadJobTest, StopInTheProgressWindowCancelsTheRemainingJobs) {
    OriginServer::Answer held = OriginServer::document("<a href=page.html>x</a>");
    held.held = true;
    origin.set("/s0/index.html", held);
    prompts.answers = {true};
    prompts.progress = [this](ProgressWindow& progress) {
        prompts.progressRuns.emplace_back();
        return ScriptedAppPrompts::RunProgressToEnd(progress, prompts.progressRuns.back(), [](ProgressWindow& w) {
            if (!w.LineText(0).isEmpty() && w.StopButton()->isEnabled()) w.StopButton()->click();
        });
    };
    Enter(Url(0), kAnother);
    Enter(Url(1));
    manager->OpenNetLocation();
    EXPECT_EQ(prompts.asked, QStringList{"Do you really want to cancel loading?"});
    EXPECT_EQ(manager->JobsRun(), 1);
    EXPECT_EQ(origin.request_count("/s1/index.html"), 0u);
    ASSERT_EQ(window.GraphWindows().size(), 1);
    EXPECT_FALSE(LaidOut(window.GraphWindows()[0]));
    EXPECT_TRUE(manager->EndOfLoadWindows().value(0)->ShowGraphButton()->isVisibleTo(manager->EndOfLoadWindows()[0]));
}

TEST_F(LoadJobTest, TheEndOfLoadWindowOffersTheBrowserAndTheGraph) {
    struct Case {
        bool showAtOnce;
        std::function<void(EndOfLoadWindow&)> act;
        bool graphKept, browsed;
    } cases[] = {
        {false, [](EndOfLoadWindow& e) { e.CloseButton()->click(); }, false, false},
        {false, [](EndOfLoadWindow& e) { e.BrowserButton()->click(); }, false, true},
        {false, [](EndOfLoadWindow& e) { e.ShowGraphButton()->click(), e.CloseButton()->click(); }, true, false},
        {true, [](EndOfLoadWindow& e) { e.CloseButton()->click(); }, true, false},
        {true, [](EndOfLoadWindow& e) { e.BrowserButton()->click(); }, true, true},
        {false, [](EndOfLoadWindow& e) { e.Window()->CloseWindow(), e.ShowGraphButton()->click(), e.close(); }, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        environment.browsed.clear();
        Enter(Url(0), kNow, [&](NetLocationDialog& d) { (c.showAtOnce ? d.ShowWithoutAsking() : d.AskFirst())->setChecked(true); });
        manager->OpenNetLocation();
        QPointer<GraphWindow> graph = manager->LastRunWindows().value(0);
        QPointer<EndOfLoadWindow> end = manager->EndOfLoadWindows().last();
        EXPECT_EQ(end->ShowGraphButton()->isVisibleTo(end), !c.showAtOnce);
        EXPECT_EQ(end->CloseButton()->text() == "Close", c.showAtOnce);
        c.act(*end);
        EXPECT_TRUE(ProcessEventsUntil([&] { return end.isNull() && graph.isNull() != c.graphKept; }));
        EXPECT_EQ(environment.browsed, std::vector<std::string>(c.browsed, Url(0)));
        EXPECT_TRUE(!graph || window.MdiArea()->activeSubWindow() == graph->parentWidget());
        if (graph) graph->CloseWindow();
    }
}

TEST_F(LoadJobTest, JobsIntoAnOpenWindowAddToItsGraph) {
    Enter(Url(0), kNow, [](NetLocationDialog& d) { d.Levels()->Edit()->setText("0"); });
    window.Command(cmd::kOpenNetLocation);
    GraphWindow* graph = manager->LastRunWindows().at(0);
    EXPECT_EQ(NodeFor(graph, Url(0, "page.html"))->kind, NodeKind::SameServer);
    Enter("", kNow, [this](NetLocationDialog& d) {  // "Expand URL...": the node's URL, the reduced dialog
        EXPECT_EQ(d.UrlBox()->currentText().toStdString() + " " + d.windowTitle().toStdString(),
                  Url(0, "page.html") + " Open another Net location");
        EXPECT_FALSE(d.ExecuteDelayedButton()->isVisible() || d.AddAnotherButton()->isVisible());
    });
    manager->ExpandUrl(graph, Url(0, "page.html"));
    EXPECT_EQ(NodeFor(graph, Url(0, "page.html"))->kind, NodeKind::Html);
    EXPECT_FALSE(manager->EndOfLoadWindows().last()->ShowGraphButton()->isVisibleTo(manager->EndOfLoadWindows().last()));
    Enter(Url(1));  // "Add another Net location" into the active window; cancelled, nothing happens
    window.Command(cmd::kAddNetLocation);
    Enter(Url(2), kCancel);
    window.Command(cmd::kAddNetLocation);
    EXPECT_EQ(window.GraphWindows().size(), 1);
    EXPECT_EQ(graph->Graph().Nodes().size(), 4u);
    EXPECT_TRUE(LaidOut(graph));
    EXPECT_EQ(manager->JobsRun(), 3);
}

TEST_F(LoadJobTest, CommandsWhileBusyAreRefusedAndTheWizardRunsFromTheMenu) {
    int dialogsWhileBusy = -1;
    prompts.progress = [&](ProgressWindow& progress) {
        int before = prompts.dialogTitles.size();
        for (int command : {cmd::kOpenNetLocation, cmd::kAddNetLocation, cmd::kInternetConnection}) window.Command(command);
        dialogsWhileBusy = prompts.dialogTitles.size() - before;
        ProgressRecord record;
        return ScriptedAppPrompts::RunProgressToEnd(progress, record);
    };
    Enter(Url(0));
    manager->OpenNetLocation();
    EXPECT_EQ(dialogsWhileBusy, 0);
    EXPECT_EQ(manager->JobsRun(), 1);
    window.Command(cmd::kInternetConnection);
    EXPECT_EQ(prompts.dialogTitles.last(), "Configure Internet Connection");
    EXPECT_EQ(config.Read("Dial", "CareAboutDialing"), "");  // cancelled: nothing written

    // The program's own wiring, with the real backend, which this system lacks.
    MainWindow other(userPrompts, config);
    QPointer<LoadJobs> jobs = InstallLoadJobs(other, config, ProxyAddress{"127.0.0.1", 9});
    std::vector<std::string> names;
    std::string error;
    EXPECT_EQ(jobs->Manager().Dialer().ListConnections(names, error), DialUp::ListResult::LibraryMissing);
    delete jobs;  // commands after the manager is gone do nothing
    for (int command : {cmd::kOpenNetLocation, cmd::kInternetConnection}) other.Command(command);
    EXPECT_TRUE(other.GraphWindows().isEmpty());
}
