// A main window with the job manager built onto it, a small site on a test
// origin server that also plays the proxy (it strips the absolute URLs of
// proxy requests), scripted prompts, a fake dial-up backend and a clock the
// test sets.
#pragma once

#include "AppTestSupport.h"
#include "FakeRas.h"

#include "testsupport/OriginServer.h"
#include "viewer/app/jobs/EndOfLoadWindow.h"
#include "viewer/app/jobs/JobEnvironment.h"
#include "viewer/app/jobs/JobManager.h"
#include "viewer/app/jobs/NetLocationDialog.h"
#include "viewer/app/jobs/StartTimeDialog.h"
#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/MainWindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QPushButton>
#include <QTimeEdit>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

// The main window's environment, with the browser starts recorded.
class RecordingEnvironment : public MainWindowEnvironment {
public:
    using MainWindowEnvironment::MainWindowEnvironment;
    bool StartBrowser(QWidget*, const std::string& url) override {
        browserUrls.push_back(url);
        return true;
    }
    std::vector<std::string> browserUrls;
};

class JobTest : public ::testing::Test {
protected:
    JobTest() {
        std::filesystem::create_directories(dir.File("site"));
        for (int i = 0; i < 5; i++) {
            std::string folder = dir.File("site/s" + std::to_string(i));
            std::filesystem::create_directories(folder);
            WriteText(folder + "/index.html", "<html><head><title>Site " + std::to_string(i) +
                                                  "</title></head><body><a href=\"page.html\">page</a></body></html>");
            WriteText(folder + "/page.html", "<html><body>leaf</body></html>");
        }
        origin = std::make_unique<OriginServer>(dir.File("site"));
        origin->set("/options?offline=0", OriginServer::document("online", "text/html"));
        origin->set("/options?offline=1", OriginServer::document("offline", "text/html"));
        window = std::make_unique<MainWindow>(userPrompts, config);
        window->resize(1000, 700);
        window->show();
        environment = std::make_unique<RecordingEnvironment>(*window);
        manager = std::make_unique<JobManager>(*environment, config, prompts, ras,
                                               ProxyAddress{"127.0.0.1", origin->port()});
        manager->SetClock([this] { return now; });
    }

    ~JobTest() override {
        manager.reset();
        window.reset();
        origin.reset();
    }

    std::string Url(int site, const std::string& file = "index.html") const {
        return origin->url("/s" + std::to_string(site) + "/" + file);
    }

    // A script for the "Open a new Net location" dialog: the URL, any
    // further choices, then a button.
    static ScriptedAppPrompts::DialogScript Fill(const std::string& url, int button,
                                                 std::function<void(NetLocationDialog&)> more = {}) {
        return [url, button, more](QDialog& dialog) {
            auto& location = dynamic_cast<NetLocationDialog&>(dialog);
            location.show();
            if (!url.empty()) location.UrlBox()->setEditText(QString::fromStdString(url));
            if (more) more(location);
            switch (button) {
            case NetLocationDialog::kExecuteNow: location.ExecuteNowButton()->click(); break;
            case NetLocationDialog::kExecuteDelayed: location.ExecuteDelayedButton()->click(); break;
            case NetLocationDialog::kAddAnother: location.AddAnotherButton()->click(); break;
            default: location.CancelButton()->click(); break;
            }
            return location.result();
        };
    }

    // A script for the start-time dialog: OK with the given time, or Cancel.
    static ScriptedAppPrompts::DialogScript At(const QDateTime& start, bool ok = true) {
        return [start, ok](QDialog& dialog) {
            auto& when = dynamic_cast<StartTimeDialog&>(dialog);
            when.show();
            when.DayField()->setDate(start.date());
            when.TimeField()->setTime(start.time());
            (ok ? when.OkButton() : when.CancelButton())->click();
            return when.result();
        };
    }

    void SetDialing(DialMode mode, bool goOnlineEntry = true) {
        DialSettings settings;
        settings.mode = mode;
        settings.entryName = goOnlineEntry ? "Provider" : "";
        settings.Write(config);
    }

    // Requests for documents of the site (not the mode switch).
    size_t SiteRequests() const {
        size_t count = 0;
        for (const OriginServer::Request& request : origin->requests())
            if (request.path.rfind("/s", 0) == 0) count++;
        return count;
    }

    std::vector<std::string> ModeSwitches() const {
        std::vector<std::string> switches;
        for (const OriginServer::Request& request : origin->requests())
            if (request.path.rfind("/options", 0) == 0) switches.push_back(request.path);
        return switches;
    }

    static bool LaidOut(GraphWindow& graph) {
        std::set<std::pair<int, int>> corners;
        for (const auto& node : graph.Graph().Nodes())
            corners.insert({node->Box().left, node->Box().top});
        return graph.Graph().Nodes().size() > 1 && corners.size() == graph.Graph().Nodes().size();
    }

    static GraphNode* NodeFor(GraphWindow& graph, const std::string& url) {
        for (const auto& node : graph.Graph().Nodes())
            if (node->url == url) return node.get();
        return nullptr;
    }

    AppTempDir dir;
    IniFile config{dir.File("vantlow.ini")};
    QuietUserPrompts userPrompts;
    ScriptedAppPrompts prompts;
    FakeRas ras;
    QDateTime now{QDate(2026, 5, 1), QTime(22, 0, 0)};
    std::unique_ptr<OriginServer> origin;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<RecordingEnvironment> environment;
    std::unique_ptr<JobManager> manager;
};
