// The load-job windows: the "Open a new Net location" dialog with its URL
// history, the progress window and the dial-up wizard on their own, then
// load jobs as the user runs them from the main window's commands, with the
// end-of-load window, delayed runs and dialing through the fake backend. The
// small site's server also plays the proxy (harbord is in the loader's
// headless journeys).
#include "AppTestSupport.h"

#include "testsupport/OriginServer.h"
#include "viewer/app/dialup/ConnectionWizard.h"
#include "viewer/app/dialup/DialTexts.h"
#include "viewer/app/dialup/PasswordScrambler.h"
#include "viewer/app/jobs/JobManager.h"
#include "viewer/app/jobs/JobTexts.h"
#include "viewer/app/jobs/LoadJobs.h"
#include "viewer/app/jobs/NetLocationDialog.h"
#include "viewer/app/jobs/SpinField.h"
#include "viewer/app/jobs/StartTimeDialog.h"
#include "viewer/app/jobs/UrlHistory.h"
#include "viewer/gui/CommandIds.h"
#include "viewer/gui/MainWindow.h"
#include "viewer/loader/Crawler.h"

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

class JobWindows : public ::testing::Test {
protected:
    JobWindows() {
        for (std::string site : {"/s0", "/s1", "/s2", "/s3", "/s4"}) {
            std::filesystem::create_directories(dir.path() + site);
            write_file(dir.path() + site + "/index.html", "<title>Site</title><a href=page.html>page</a>");
            write_file(dir.path() + site + "/page.html", "leaf");
        }
        for (const char* mode : {"/options?offline=0", "/options?offline=1"})
            origin.set(mode, OriginServer::document(mode));
        window.show();
        UseProxy(origin.port(), ras);
    }
    void UseProxy(uint16_t port, RasApi& backend) {
        manager = std::make_unique<JobManager>(environment, config, prompts, backend, ProxyAddress{"127.0.0.1", port});
        manager->SetClock([this] { return now; });
        ConnectJobCommands(window, *manager);
    }
    std::string Url(int s, const std::string& file = "index.html") const {
        return origin.url("/s" + std::to_string(s) + "/" + file);
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
    // Progress windows run to their end; stop is pressed, and the question answered yes, once `when` holds.
    void StopWhen(const std::function<bool()>& when) {
        prompts.answers = {true};
        prompts.progress = [this, when](ProgressWindow& progress) {
            return ScriptedAppPrompts::RunProgressToEnd(progress, prompts.progressRuns.emplace_back(), [when](auto& w) {
                if (w.StopButton()->isEnabled() && !w.Finished() && when()) w.StopButton()->click();
            });
        };
    }
    // The path of each request to the server, mode switches as "?offline=N".
    std::string Asked() const {
        std::string paths;
        for (const auto& request : origin.requests())
            paths += " " + (request.path == "/options" ? "limits"  // the cache's limits read after a crawl
                                                        : request.path.substr(request.path.rfind("/options", 0) == 0 ? 8 : 0));
        return paths;
    }
    // "Execute now" in a dialog over `record` after the URL and the choices: its result.
    int ExecuteNow(const char* url, const std::function<void(NetLocationDialog&)>& choices = {}) {
        prompts.errors.clear();
        record = JobRecord();
        auto dialog = std::make_unique<NetLocationDialog>(record, config, prompts, NetLocationDialog::Options());
        dialog->show();
        dialog->UrlBox()->setEditText(url);
        if (choices) choices(*dialog);
        dialog->ExecuteNowButton()->click();
        EXPECT_EQ(dialog->isVisible(), dialog->result() == 0);
        return dialog->result();
    }
    // The dial-up wizard over what the file holds now, with a mode chosen.
    std::unique_ptr<ConnectionWizard> Wizard(DialMode mode, bool forward = false) {
        wizardConfig = std::make_unique<IniFile>(path);
        auto wizard = std::make_unique<ConnectionWizard>(*wizardConfig, manager->Dialer(), prompts);
        wizard->ModeButton(mode)->setChecked(true);
        if (forward) wizard->ForwardButton()->click();
        return wizard;
    }
    static bool LaidOut(const GraphWindow* graph) {
        std::set<std::pair<int, int>> corners;
        for (const auto& node : graph->Graph().Nodes()) corners.insert({node->Box().left, node->Box().top});
        return corners.size() > 1 && corners.size() == graph->Graph().Nodes().size() && !graph->PaintingSuspended();
    }

    TempDir dir;
    OriginServer origin{dir.path()};
    const std::string path = dir.file("vantlow.ini");
    IniFile config{path};
    std::unique_ptr<IniFile> wizardConfig;
    JobRecord record;
    ScriptedAppPrompts prompts;
    FakeRas ras;
    QDateTime now{QDate(2026, 5, 1), QTime(22, 0, 0)};
    MainWindow window{prompts, config};
    RecordingEnvironment environment{window};
    std::unique_ptr<JobManager> manager;
};

}  // namespace

TEST(ProgressWindow, UpdatesFromOtherThreadsArriveAsPostedEventsOnly) {
    ScriptedAppPrompts prompts;
    QStringList statuses;
    {
        ProgressWindow gone(prompts);  // what was queued for a window that is gone is dropped
        gone.PostError("never shown");
    }
    ProgressWindow window(prompts);
    window.statusSink = [&](const QString& text) { statuses << text; };
    const std::string url = "Loading http://h.example/~user/a&b~~c ...";
    std::thread([&] {
        for (int line : {3, -1, 12}) window.SetLine(line, url);
        window.SetLine(7, "second");
        window.ItemsLeft(7);
        window.ItemsDone(5);
        window.AddMessage("a problem");
        window.PostStatus("An error occured while trying to connect.");
        window.PostError("The library is missing.");
    }).join();
    EXPECT_EQ(window.LineText(3) + window.LeftField()->text() + statuses.join("") + prompts.errors.join("") +
                  QString::number(window.Messages()->count()), "0");  // the GUI thread has not run yet
    QCoreApplication::processEvents();
    EXPECT_EQ(window.LineText(3).toStdString(), url);  // exactly as it is: "~" is no mnemonic
    EXPECT_EQ(window.Line(0)->textFormat(), Qt::PlainText);
    for (int i = 0; i < LoadProgress::kLines; i++) EXPECT_EQ(window.LineText(i).isEmpty(), i != 3 && i != 7) << i;
    // Shown one below the other, without the gaps of the free lines.
    EXPECT_EQ(window.Line(0)->text().toStdString() + "|" + window.Line(1)->text().toStdString(), url + "|second");
    EXPECT_TRUE(window.Bar()->value() == 5 && window.Bar()->maximum() == 12 && window.Line(2)->text().isEmpty());
    EXPECT_EQ(window.LeftField()->text() + " " + window.Messages()->item(0)->text(), "7 a problem");
    EXPECT_EQ(statuses, QStringList{"An error occured while trying to connect."});
    EXPECT_EQ(prompts.errors, QStringList{"The library is missing."});
    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);  // asks like the stop button; "no" keeps the job going
    EXPECT_TRUE(prompts.asked == QStringList{"Do you really want to cancel loading?"} && !window.StopRequested());
}

TEST_F(JobWindows, NumbersAndUrlsAreCheckedBeforeTheDialogCloses) {
    for (const char* text : {"two", "2147483648", "99999999999", "-1", "1e3", " ", "0x10"}) {
        EXPECT_EQ(ExecuteNow("a.example", [&](NetLocationDialog& d) { d.Levels()->Edit()->setText(text); }), 0) << text;
        EXPECT_EQ(prompts.errors, QStringList{job_text::kNotNumeric}) << text;
    }
    for (const char* url : {"", "   ", "http://", "http://a/\nb"}) {
        EXPECT_EQ(ExecuteNow(url), 0) << url;
        EXPECT_EQ(prompts.errors.value(0) == job_text::kNoUrl, std::strchr(url, '\n') == nullptr) << url;
    }
    EXPECT_EQ(ExecuteNow("a.example", [](NetLocationDialog& d) {
                  d.OtherLevelsMaximum()->setChecked(true), d.OtherLevels()->Edit()->setText("many");
                  d.ExecuteNowButton()->click();  // refused, and the field in error has the focus
                  EXPECT_EQ(d.focusWidget(), d.OtherLevels()->Edit());
                  d.OtherLevelsNone()->setChecked(true), d.Levels()->Edit()->setText("two");
                  d.LevelsUnlimited()->setChecked(true);
              }),
              1);
    EXPECT_EQ(std::to_string(record.settings.levels) + std::to_string(record.settings.limitLevels), "10");  // as it was
    auto most = [](NetLocationDialog& d) { d.Levels()->Edit()->setText(" 2147483647 "); };
    EXPECT_EQ(ExecuteNow("  http://example.org/a b  ", most), 1);
    EXPECT_EQ(record.settings.startUrl + " " + std::to_string(record.settings.levels),
              "http://example.org/a b 2147483647");
    EXPECT_EQ(ExecuteNow("ftp://x"), 1);
    EXPECT_EQ(ReadUrlHistory(config),
              (std::vector<std::string>{"ftp://x", "http://example.org/a b", "http://a.example"}));
}

TEST_F(JobWindows, SpinButtonsAndTheOtherLevelsFollowingTheLevelsDown) {
    auto dialog = std::make_unique<NetLocationDialog>(record, config, prompts, NetLocationDialog::Options());
    SpinField* levels = dialog->Levels();
    QToolButton *up = levels->UpButton(), *down = levels->DownButton();
    for (auto [start, button, after] : {std::tuple{"1", up, "2"}, {"1", down, "0"}, {"0", down, "0"},
                                        {"2147483647", up, "2147483647"}, {"junk", up, "1"}}) {
        levels->Edit()->setText(start);
        button->click();
        EXPECT_EQ(levels->Text(), after) << start;
    }
    record.settings.levels = 3, record.settings.otherLevels = 3, record.settings.limitOtherComputers = true;
    dialog = std::make_unique<NetLocationDialog>(record, config, prompts, NetLocationDialog::Options());
    dialog->Levels()->DownButton()->click();
    EXPECT_EQ(dialog->Levels()->Text() + dialog->OtherLevels()->Text(), "22");
    dialog->Levels()->Edit()->setText("0");
    dialog->Levels()->UpButton()->click();  // up again: the other number stays where it was pushed
    EXPECT_EQ(dialog->OtherLevels()->Text(), "0");
    dialog->LevelsUnlimited()->setChecked(true), dialog->OtherLevels()->Edit()->setText("4");
    dialog->Levels()->Edit()->setText("1");
    EXPECT_EQ(dialog->OtherLevels()->Text(), "4");  // not lowered while unlimited
    EXPECT_FALSE(dialog->Levels()->isEnabled());
    dialog->LevelsMaximum()->setChecked(true);  // but once a maximum is chosen
    EXPECT_EQ(dialog->OtherLevels()->Text(), "1");
    dialog->OtherLevelsNone()->setChecked(true);
    EXPECT_TRUE(dialog->Levels()->isEnabled() && !dialog->OtherLevels()->isEnabled());
    for (QRadioButton* choice : dialog->findChildren<QRadioButton*>()) EXPECT_FALSE(choice->text().isEmpty());
    dialog->HelpButton()->click();
    EXPECT_EQ(prompts.informed.size(), 1);
}

TEST_F(JobWindows, HistoryIsOfferedNewestFirstAtMostTen) {
    for (int i = 0; i < 12; i++) PushUrlHistory(config, "http://site" + std::to_string(i) + "/");
    auto dialog = std::make_unique<NetLocationDialog>(record, config, prompts, NetLocationDialog::Options());
    QComboBox* box = dialog->UrlBox();
    EXPECT_EQ(QString::number(box->count()) + " " + box->itemText(0) + " " + box->itemText(9),
              "10 http://site11/ http://site2/");
    EXPECT_EQ(box->currentText(), "http://site11/");  // the newest fills an empty record
    // Used again: to the front, once; the old tenth entry goes even so.
    EXPECT_EQ(PushUrlHistory(config, "http://site5/").size(), 9u);
    EXPECT_EQ(ReadUrlHistory(config).front() + " " + ReadUrlHistory(config).back(), "http://site5/ http://site3/");
    for (auto [text, urls] : {std::pair<const char*, int>{"Count=abc\nURL0=http://x/\n", 0},
                              {"Count=4000000000\nURL0=http://x/\nURL1=\nURL2=http://z/\n", 2}}) {
        write_file(dir.file("vantlow.ini"), std::string("[ParsedURLs]\n") + text + "\x01\x02garbage\n");
        IniFile garbled(dir.file("vantlow.ini"));
        EXPECT_EQ(NetLocationDialog(record, garbled, prompts, {}).UrlBox()->count(), urls) << text;
    }
}

TEST_F(JobWindows, TheWizardsTwoPagesChooseWhenToDialWhichEntryAndWhichLogin) {
    ras.entries = {"Provider", "Office"};
    IniFile file(path);
    DialSettings{"jane", "secret", "*", "Office", true, DialMode::ScheduledOnly}.Write(file);
    auto wizard = Wizard(DialMode::ScheduledOnly);
    wizard->ModeButton(DialMode::Never)->setChecked(true);
    EXPECT_EQ(wizard->ForwardButton()->text(), "Finish");
    wizard->ModeButton(DialMode::Always)->setChecked(true);
    wizard->ForwardButton()->click();
    EXPECT_EQ(std::to_string(wizard->Page()) + " " + wizard->ForwardButton()->text().toStdString(), "1 Finish");
    ASSERT_EQ(wizard->Connections()->count(), 2);
    EXPECT_EQ(wizard->Connections()->item(0)->text() + " " + wizard->Connections()->currentItem()->text(),
              "Provider Office");
    EXPECT_EQ(wizard->PasswordField()->text(), "******");  // never the password itself
    for (bool currentUser : {true, false}) {
        wizard->CurrentUserBox()->setChecked(currentUser);
        for (QLineEdit* field : {wizard->UserField(), wizard->PasswordField(), wizard->DomainField()})
            EXPECT_EQ(field->isEnabled(), !currentUser);
    }
    wizard->Connections()->setCurrentRow(0);
    wizard->UserField()->setText("joe");
    wizard->ForwardButton()->click();
    const DialSettings joe = DialSettings::Read(IniFile(path));
    EXPECT_EQ(joe.userName + "|" + joe.password + "|" + joe.entryName + "|" + std::to_string(joe.useCurrentUser) +
              std::to_string(int(joe.mode)), "joe|secret|Provider|01");

    wizard = Wizard(DialMode::Always, true);  // an edited password is stored, scrambled
    wizard->PasswordField()->clear();
    QTest::keyClicks(wizard->PasswordField(), "n3w pw");
    wizard->ForwardButton()->click();
    EXPECT_NE(read_file(path).find("password=" + ScramblePasswordHex("n3w pw") + "\n"), std::string::npos);
    const std::string stored = read_file(path);
    Wizard(DialMode::Always, true)->CancelButton()->click();
    EXPECT_EQ(read_file(path), stored);  // Cancel on the second page writes nothing
    wizard = Wizard(DialMode::Never);  // "No" finishes at once, without the phone book
    wizard->ForwardButton()->click();
    EXPECT_EQ(DialSettings::Read(IniFile(path)).mode, DialMode::Never);
}

TEST_F(JobWindows, LeavingTheWizardsSecondPageNeedsASelectedEntryUnlessThereIsNone) {
    struct Case {
        std::function<void(FakeRas&)> setup;
        QString error;  // shown first
        bool mayGoBack;
    } cases[] = {
        {{}, dial_text::kSelectConnection, false},
        {[](FakeRas& r) { r.entries.clear(); }, dial_text::kNoConnections, true},
        {[](FakeRas& r) { r.available = false; }, dial_text::kLibraryMissing, true},
        {[](FakeRas& r) { r.enumError = 612, r.errorTexts[612] = "No phone book."; }, "No phone book.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error.toStdString());
        ras.entries = {"Provider"}, ras.available = true, ras.enumError = 0;
        if (c.setup) c.setup(ras);
        prompts.errors.clear();
        auto wizard = Wizard(DialMode::Always, true);
        wizard->ForwardButton()->click();
        EXPECT_EQ(wizard->result(), 0);
        EXPECT_EQ(prompts.errors.last(), dial_text::kSelectConnection);
        EXPECT_TRUE(prompts.errors.first().startsWith(c.error));
        EXPECT_EQ(wizard->Connections()->isEnabled() || wizard->UserField()->isEnabled(), !c.mayGoBack);
        wizard->PreviousButton()->click();
        EXPECT_EQ(wizard->Page(), c.mayGoBack ? 0 : 1);
    }
    EXPECT_EQ(read_file(path), "");
}

TEST_F(JobWindows, JobsCollectedWithAddAnotherRunInOrderEachIntoItsOwnWindow) {
    for (int i = 0; i < 3; i++) Enter(Url(i), kAnother);
    Enter(Url(3));
    manager->OpenNetLocation();
    EXPECT_EQ(prompts.dialogTitles, QStringList({"Open a new Net location", "Open another Net location",
                                                 "Open another Net location", "Open another Net location"}));
    std::string expected;
    for (std::string site : {"/s0", "/s1", "/s2", "/s3"})
        expected += " ?offline=0 " + site + "/index.html " + site + "/index.html " + site + "/page.html " + site +
                    "/page.html limits";
    EXPECT_EQ(Asked(), expected);
    ASSERT_EQ(manager->LastRunWindows().size(), 4);
    for (int i = 0; i < 4; i++) {
        GraphWindow* graph = manager->LastRunWindows()[i];
        EXPECT_EQ(graph->windowTitle().toStdString() + " " + graph->Graph().RootNode()->url, Url(i) + " " + Url(i));
        EXPECT_TRUE(LaidOut(graph));
        EXPECT_EQ(graph->GetCrawler().NodeForUrl(Url(i, "page.html"))->kind, NodeKind::Html);
    }
    EXPECT_EQ(window.GraphWindows().size() * 10 + manager->EndOfLoadWindows().size(), 44);
    EXPECT_TRUE(manager->RunsStarted() == 1 && !manager->Busy() && !manager->Scheduled());
    Enter(Url(4), kAnother);  // cancelling drops what was collected
    Enter(Url(4), kCancel);
    manager->OpenNetLocation();
    EXPECT_TRUE(manager->JobsRun() == 4 && origin.request_count("/s4/index.html") == 0);
}

TEST_F(JobWindows, ADelayedRunWaitsInItsWindowAndStartsOnTheFirstTickAtItsTime) {
    const QDateTime start = now;
    Enter(Url(0), kAnother);
    Enter(Url(1), kDelayed);
    StartAt({now.addSecs(-1), now});  // a second ago is refused, this second is not the past
    manager->OpenNetLocation();
    EXPECT_EQ(prompts.errors, QStringList{"The entered date is not valid."});
    EXPECT_TRUE(manager->Scheduled() && manager->StartTime() == start && manager->Timer().isActive());
    EXPECT_EQ(origin.request_count(), 0u);
    ScheduledJobWindow* jobWindow = manager->JobWindow();
    ASSERT_TRUE(jobWindow && qobject_cast<QMdiSubWindow*>(jobWindow->parentWidget()));
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
    manager->SetEnabled(false), manager->TimerTick(), manager->SetEnabled(true);
    now = start.addSecs(-1), manager->TimerTick();
    EXPECT_TRUE(manager->Scheduled() && manager->Timer().isActive() && manager->JobsRun() == 1);
    now = start.addDays(2), manager->TimerTick(), manager->TimerTick();  // a late tick still starts it, once
    EXPECT_EQ(manager->JobsRun() * 10 + manager->RunsStarted(), 32);
    EXPECT_EQ(manager->LastRunWindows().value(1)->windowTitle().toStdString(), Url(1));
    EXPECT_FALSE(manager->Scheduled() || manager->Timer().isActive());
    EXPECT_TRUE(ProcessEventsUntil([&] { return manager->JobWindow() == nullptr; }));

    // Closing the main window asks too; a cancelled start time runs the jobs at once.
    Enter(Url(3), kDelayed);
    StartAt({now.addSecs(600)});
    manager->OpenNetLocation();
    prompts.answers = {false, true, true};  // no; then yes, and yes to the unsaved graphs
    EXPECT_TRUE(!window.close() && manager->Scheduled() && window.close());
    EXPECT_FALSE(manager->Scheduled() || manager->Timer().isActive());
    Enter(Url(3), kDelayed);
    StartAt({now}, false);
    manager->OpenNetLocation();
    EXPECT_EQ(manager->JobsRun(), 4);
}

TEST_F(JobWindows, DialingFollowsTheModeAndAFailedDialLoadsNothing) {
    using namespace dial_text;
    const std::string pages = " /s0/index.html /s0/index.html /s0/page.html /s0/page.html";
    const std::string crawl = " ?offline=0" + pages + " limits";
    struct Case {
        DialMode mode;
        bool delayed, online;
        std::function<void(FakeRas&)> backend;
        std::string asked;  // mode switches and documents
        size_t dials;
        QString problem;  // in the message list and the status bar, or in an error box
        bool currentUser = true;
    } cases[] = {
        {DialMode::ScheduledOnly, false, true, {}, crawl, 0, ""},
        {DialMode::ScheduledOnly, true, true, {}, crawl + " ?offline=1", 1, "", false},
        {DialMode::Always, false, false, {}, " ?offline=1" + pages, 0, ""},
        {DialMode::Always, false, true,
         [](FakeRas& r) { r.states = {0, 5}, r.stateError = 691, r.errorTexts[691] = "No."; }, "", 1, "No."},
        {DialMode::Always, false, true, [](FakeRas& r) { r.states = {0}, r.stateError = 4711; }, "", 1, kConnectError},
        {DialMode::Always, false, true, [](FakeRas& r) { r.dialResult = 633; }, "", 1, kConnectError},
        {DialMode::Always, false, true, [](FakeRas& r) { r.states = {0, kRasStateDisconnected}; }, "", 1,
         kConnectError},
        {DialMode::Always, false, true, [](FakeRas& r) { r.available = false; }, "", 0, kLibraryMissing},
        {DialMode::Always, false, true, [](FakeRas& r) { r.answerDial = false; }, "", 1, ""},  // stopped while dialing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        FakeRas backend;
        if (c.backend) c.backend(backend);
        UseProxy(origin.port(), backend);
        origin.clear_log(), prompts.progressRuns.clear(), prompts.errors.clear(), environment.ShowStatus("");
        DialSettings{"jane", "pw", "HOME", "Provider", c.currentUser, c.mode}.Write(config);
        StopWhen([&] { return !backend.answerDial && !backend.Dials().empty(); });
        Enter(Url(0), c.delayed ? kDelayed : kNow,
              [&](NetLocationDialog& d) { (c.online ? d.OnlineYes() : d.OnlineNo())->setChecked(true); });
        if (c.delayed) StartAt({now});
        manager->OpenNetLocation();
        manager->TimerTick();
        EXPECT_EQ(Asked(), c.asked);
        const std::string login = c.currentUser ? "Provider|||" : "Provider|jane|pw|HOME";
        EXPECT_EQ(backend.Dials(), std::vector<std::string>(c.dials, login));
        EXPECT_EQ(backend.HangUps().size(), c.dials);
        const ProgressRecord& run = prompts.progressRuns.at(0);
        EXPECT_EQ(run.okPressed ? run.line0 : "", c.problem.isEmpty() ? "" : "Some problems occurred.");
        EXPECT_EQ(run.messages, c.problem.isEmpty() ? QStringList() : QStringList{c.problem});
        const bool boxed = c.problem == kLibraryMissing;
        EXPECT_EQ(prompts.errors, boxed ? QStringList{c.problem} : QStringList());
        EXPECT_EQ(window.StatusText(), boxed ? "" : c.problem);
        manager.reset();
    }
}

TEST_F(JobWindows, StopInTheProgressWindowCancelsTheRemainingJobs) {
    OriginServer::Answer held = OriginServer::document("<a href=page.html>x</a>");
    held.held = true;
    origin.set("/s0/index.html", held);
    StopWhen([this] { return origin.request_count("/s0/index.html") > 0; });
    Enter(Url(0), kAnother);
    Enter(Url(1));
    manager->OpenNetLocation();
    EXPECT_EQ(manager->JobsRun(), 1);
    EXPECT_EQ(origin.request_count("/s1/index.html"), 0u);
    EXPECT_TRUE(window.GraphWindows().size() == 1 && !LaidOut(window.GraphWindows()[0]));  // not laid out
    EXPECT_TRUE(manager->EndOfLoadWindows().value(0)->ShowGraphButton()->isVisibleTo(manager->EndOfLoadWindows()[0]));
}

TEST_F(JobWindows, TheEndOfLoadWindowOffersTheBrowserAndTheGraph) {
    struct Case {
        bool showAtOnce;
        std::function<void(EndOfLoadWindow&)> act;
        bool graphKept, browsed;
    } cases[] = {
        {false, [](EndOfLoadWindow& e) { e.CloseButton()->click(); }, false, false},
        {false, [](EndOfLoadWindow& e) { e.BrowserButton()->click(); }, false, true},
        {false, [](EndOfLoadWindow& e) { e.ShowGraphButton()->click(), e.CloseButton()->click(); }, true, false},
        {true, [](EndOfLoadWindow& e) { e.CloseButton()->click(); }, true, false},
        {false, [](EndOfLoadWindow& e) { e.Window()->CloseWindow(), e.ShowGraphButton()->click(), e.close(); }, false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        environment.browsed.clear();
        Enter(Url(0), kNow,
              [&](NetLocationDialog& d) { (c.showAtOnce ? d.ShowWithoutAsking() : d.AskFirst())->setChecked(true); });
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

// The end-of-load window says what the job came to; a start page that could
// not be loaded is said first, and no offline reading is offered for it.
TEST_F(JobWindows, TheEndOfLoadWindowTellsWhatTheJobCameTo) {
    const std::string tooSmall = "<input name=\"cachesize\" type=range min=8 max=2000000 value=4>"
                                 "<input name=\"cachefiles\" type=range min=2 max=2000000 value=1>";
    for (const std::string& url : {Url(0), origin.url("/missing.html"), Url(1)}) {
        if (url == Url(1)) origin.set("/options", OriginServer::document(tooSmall));
        Enter(url, kNow, [](NetLocationDialog& d) { d.AskFirst()->setChecked(true); });
        manager->OpenNetLocation();
        QString told = manager->EndOfLoadWindows().last()->Message()->text();
        bool failed = url == origin.url("/missing.html"), overflowed = url == Url(1);
        EXPECT_EQ(told.startsWith("The start page could not be loaded: Status: 404"), failed) << told.toStdString();
        EXPECT_EQ(told.startsWith(job_text::kCanDisconnect), !failed) << told.toStdString();
        EXPECT_EQ(told.contains("The proxy's cache is too small for this job: it keeps at most 4 kB in 1 documents"),
                  overflowed) << told.toStdString();
        EXPECT_EQ(told.contains("Raise cachesize to 1024 and cachefiles to 100 "), overflowed) << told.toStdString();
        EXPECT_TRUE(told.contains("Documents loaded: ")) << told.toStdString();
        // Both failures are in the progress window's messages too.
        QStringList messages = prompts.progressRuns.back().messages;
        EXPECT_EQ(messages.filter(QString::fromStdString(url) + ": Status: 404").size(), failed ? 1 : 0);
        EXPECT_EQ(messages.filter("too small").size(), overflowed ? 1 : 0);
    }
}

// With another window maximized, the new graph still comes to the front,
// shown at once or by "Show graph", and keeps the focus once the end-of-load
// window is gone (the main window gives it back to its focus widget).
TEST_F(JobWindows, TheNewGraphComesInFrontOfAMaximizedOneAndKeepsTheFocus) {
    for (bool atOnce : {true, false}) {
        SCOPED_TRACE(atOnce);
        auto* other = qobject_cast<QMdiSubWindow*>(window.OpenGraphWindow("other")->parentWidget());
        other->showMaximized();
        other->widget()->setFocus();
        Enter(Url(0), kNow, [atOnce](NetLocationDialog& d) { (atOnce ? d.ShowWithoutAsking() : d.AskFirst())->setChecked(true); });
        manager->OpenNetLocation();
        QPointer<GraphWindow> graph = manager->LastRunWindows().value(0);
        ASSERT_TRUE(graph);
        EndOfLoadWindow* end = manager->EndOfLoadWindows().last();
        if (!atOnce) end->ShowGraphButton()->click();
        end->close();
        auto* frame = qobject_cast<QMdiSubWindow*>(graph->parentWidget());
        EXPECT_EQ(window.MdiArea()->currentSubWindow(), frame);
        EXPECT_EQ(window.MdiArea()->subWindowList(QMdiArea::StackingOrder).last(), frame);
        EXPECT_TRUE(frame->isMaximized() && graph->isVisible());
        EXPECT_TRUE(ProcessEventsUntil([&] { return QApplication::activeWindow() == &window; }));
        EXPECT_TRUE(window.focusWidget() && graph->isAncestorOf(window.focusWidget()));
        other->close();
    }
}

TEST_F(JobWindows, JobsIntoAnOpenWindowAddToItsGraphAndCommandsWhileBusyAreRefused) {
    int dialogsWhileBusy = -1;
    prompts.progress = [&](ProgressWindow& progress) {
        const int before = prompts.dialogTitles.size();
        for (int command : {cmd::kOpenNetLocation, cmd::kAddNetLocation, cmd::kInternetConnection})
            window.Command(command);
        dialogsWhileBusy = prompts.dialogTitles.size() - before;
        return ScriptedAppPrompts::RunProgressToEnd(progress, prompts.progressRuns.emplace_back());
    };
    Enter(Url(0), kNow, [](NetLocationDialog& d) { d.Levels()->Edit()->setText("0"); });
    window.Command(cmd::kOpenNetLocation);
    EXPECT_EQ(dialogsWhileBusy, 0);
    GraphWindow* graph = manager->LastRunWindows().at(0);
    EXPECT_EQ(graph->GetCrawler().NodeForUrl(Url(0, "page.html"))->kind, NodeKind::SameServer);
    Enter("", kNow, [this](NetLocationDialog& d) {  // "Expand URL...": the node's URL, the reduced dialog
        EXPECT_EQ(d.UrlBox()->currentText().toStdString() + " " + d.windowTitle().toStdString(),
                  Url(0, "page.html") + " Open another Net location");
        EXPECT_EQ(d.Levels()->Edit()->text(), "0");  // the window's job's levels, not the default 1
        EXPECT_FALSE(d.ExecuteDelayedButton()->isVisible() || d.AddAnotherButton()->isVisible());
    });
    manager->ExpandUrl(graph, Url(0, "page.html"));
    EXPECT_EQ(graph->GetCrawler().NodeForUrl(Url(0, "page.html"))->kind, NodeKind::Html);
    EndOfLoadWindow* end = manager->EndOfLoadWindows().last();
    EXPECT_FALSE(end->ShowGraphButton()->isVisibleTo(end));
    Enter(Url(1));  // "Add another Net location" into the active window; cancelled, nothing happens
    window.Command(cmd::kAddNetLocation);
    Enter(Url(2), kCancel);
    window.Command(cmd::kAddNetLocation);
    EXPECT_TRUE(window.GraphWindows().size() == 1 && graph->Graph().Nodes().size() == 4u);
    EXPECT_TRUE(LaidOut(graph));
    EXPECT_EQ(manager->JobsRun(), 3);
    window.Command(cmd::kInternetConnection);
    EXPECT_EQ(prompts.dialogTitles.last(), "Configure Internet Connection");
    EXPECT_EQ(config.Read("Dial", "CareAboutDialing"), "");  // cancelled: nothing written

    // The program's own wiring, with the real backend, which this system lacks.
    MainWindow other(prompts, config);
    QPointer<LoadJobs> jobs = InstallLoadJobs(other, config, ProxyAddress{"127.0.0.1", 9});
    std::vector<std::string> names;
    std::string error;
    EXPECT_EQ(jobs->Manager().Dialer().ListConnections(names, error), DialUp::ListResult::LibraryMissing);
    delete jobs;  // commands after the manager is gone do nothing
    for (int command : {cmd::kOpenNetLocation, cmd::kInternetConnection}) other.Command(command);
    EXPECT_TRUE(other.GraphWindows().isEmpty());
}
