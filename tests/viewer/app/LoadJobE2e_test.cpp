// A whole load job as the user runs it: the "Open a new Net location" dialog
// (filled by the test) from the main window's menu command, a real crawl of
// a generated site through the real harbord, the progress window, and the
// new graph window laid out at the end.
#include "AppTestSupport.h"
#include "FakeRas.h"

#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/SiteGenerator.h"
#include "viewer/app/jobs/EndOfLoadWindow.h"
#include "viewer/app/jobs/JobEnvironment.h"
#include "viewer/app/jobs/JobManager.h"
#include "viewer/app/jobs/LoadJobs.h"
#include "viewer/app/jobs/NetLocationDialog.h"
#include "viewer/app/jobs/SpinField.h"
#include "viewer/graph/SiteGraph.h"
#include "viewer/gui/CommandIds.h"
#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/MainWindow.h"
#include "viewer/loader/Crawler.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

class SilentProgress : public LoadProgress {
public:
    void SetLine(int, const std::string&) override {}
    void AddMessage(const std::string& text) override { messages.push_back(text); }
    void ItemsLeft(int) override {}
    void End() override {}
    bool StopRequested() const override { return false; }
    std::vector<std::string> messages;
};

class LoadJobE2e : public ::testing::Test {
protected:
    LoadJobE2e() {
        std::filesystem::create_directories(dir.File("site"));
        origin = std::make_unique<OriginServer>(dir.File("site"));
        site = GenerateSite(dir.File("site"), origin->port(), SiteShape{24, 3, 2, 7});
        site.ApplyTo(*origin);
        harbord = std::make_unique<e2e::Harbord>();
        window = std::make_unique<MainWindow>(userPrompts, config);
        window->resize(1000, 700);
        window->show();
        environment = std::make_unique<MainWindowEnvironment>(*window);
        proxy = ProxyAddress{"127.0.0.1", harbord->port()};
        manager = std::make_unique<JobManager>(*environment, config, prompts, ras, proxy);
        ConnectJobCommands(*window, *manager);
    }

    ~LoadJobE2e() override {
        manager.reset();
        window.reset();
        harbord.reset();
        origin.reset();
    }

    // HTML pages the origin server was asked for with GET.
    std::set<std::string> PagesLoaded() const {
        std::set<std::string> all;
        for (const SitePage& page : site.pages) all.insert(page.path);
        std::set<std::string> loaded;
        for (const OriginServer::Request& request : origin->requests())
            if (request.method == "GET" && all.count(request.path)) loaded.insert(request.path);
        return loaded;
    }

    AppTempDir dir;
    IniFile config{dir.File("vantlow.ini")};
    QuietUserPrompts userPrompts;
    ScriptedAppPrompts prompts;
    FakeRas ras;
    GeneratedSite site;
    ProxyAddress proxy;
    std::unique_ptr<OriginServer> origin;
    std::unique_ptr<e2e::Harbord> harbord;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowEnvironment> environment;
    std::unique_ptr<JobManager> manager;
};

TEST_F(LoadJobE2e, DialogRunsARealCrawlThroughHarbordIntoANewLaidOutGraphWindow) {
    ASSERT_TRUE(harbord->running());
    const int levels = 2;
    std::string typed = site.StartUrl().substr(std::string("http://").size());
    prompts.dialogs.push_back([&](QDialog& dialog) {
        auto& location = dynamic_cast<NetLocationDialog&>(dialog);
        location.show();
        // Typed without a scheme, as users do.
        location.UrlBox()->setEditText(QString::fromStdString(typed));
        location.Levels()->Edit()->setText(QString::number(levels));
        location.ExecuteNowButton()->click();
        return location.result();
    });
    window->Command(cmd::kOpenNetLocation);

    // The progress window closed by itself: no problems.
    ASSERT_EQ(prompts.progressRuns.size(), 1u);
    EXPECT_FALSE(prompts.progressRuns[0].okPressed);
    EXPECT_TRUE(prompts.progressRuns[0].messages.isEmpty()) << prompts.progressRuns[0].messages.join("\n").toStdString();

    ASSERT_EQ(window->GraphWindows().size(), 1);
    GraphWindow* graph = window->GraphWindows()[0];
    EXPECT_EQ(graph->windowTitle().toStdString(), site.StartUrl());
    ASSERT_NE(graph->Graph().RootNode(), nullptr);
    EXPECT_EQ(graph->Graph().RootNode()->url, site.StartUrl());

    // Every page within the levels was loaded, and only those.
    std::vector<std::string> expected = site.PathsWithinLevels(levels);
    EXPECT_EQ(PagesLoaded(), std::set<std::string>(expected.begin(), expected.end()));
    for (const std::string& path : expected) {
        const GraphNode* node = nullptr;
        for (const auto& candidate : graph->Graph().Nodes())
            if (candidate->url == site.base + path) node = candidate.get();
        ASSERT_NE(node, nullptr) << path;
        EXPECT_EQ(node->kind, NodeKind::Html) << path;
        EXPECT_FALSE(harbord->cache_files_for(site.base + path).empty()) << path;
    }

    // The same job without a window, through the same proxy, draws the same nodes.
    SiteGraph reference;
    Crawler crawler(reference);
    SilentProgress silent;
    LoadSettings settings;
    settings.startUrl = site.StartUrl();
    settings.levels = levels;
    crawler.RunLoadJob(settings, silent, proxy);
    EXPECT_TRUE(silent.messages.empty());
    EXPECT_EQ(graph->Graph().Nodes().size(), reference.Nodes().size());
    EXPECT_GT(graph->Graph().Nodes().size(), expected.size());

    // Laid out: sized to the labels, every box in a place of its own.
    std::set<std::pair<int32_t, int32_t>> corners;
    for (const auto& node : graph->Graph().Nodes()) {
        corners.insert({node->Box().left, node->Box().top});
        EXPECT_FALSE(node->Box().IsEmpty());
    }
    EXPECT_EQ(corners.size(), graph->Graph().Nodes().size());
    EXPECT_FALSE(graph->PaintingSuspended());
    EXPECT_EQ(window->StatusText(), "");

    // The history remembers the URL with its scheme.
    EXPECT_EQ(config.Read("ParsedURLs", "URL0"), site.StartUrl());

    // "Show graph" brings the window forward.
    ASSERT_EQ(manager->EndOfLoadWindows().size(), 1);
    EndOfLoadWindow* end = manager->EndOfLoadWindows()[0];
    end->ShowGraphButton()->click();
    EXPECT_EQ(window->MdiArea()->activeSubWindow(), graph->parentWidget());
    EXPECT_EQ(end->CloseButton()->text(), "Close");
    end->CloseButton()->click();
    EXPECT_EQ(window->GraphWindows().size(), 1);
}

TEST_F(LoadJobE2e, OfflineJobLoadsFromTheCacheOnly) {
    const std::string start = site.StartUrl();
    auto run = [&](bool online) {
        prompts.dialogs.push_back([&, online](QDialog& dialog) {
            auto& location = dynamic_cast<NetLocationDialog&>(dialog);
            location.UrlBox()->setEditText(QString::fromStdString(start));
            location.Levels()->Edit()->setText("1");
            (online ? location.OnlineYes() : location.OnlineNo())->setChecked(true);
            location.ExecuteNowButton()->click();
            return location.result();
        });
        window->Command(cmd::kOpenNetLocation);
    };
    run(true);
    size_t asked = origin->request_count();
    ASSERT_GT(asked, 0u);
    run(false);
    // Offline, harbord answered from its cache: the origin server heard nothing.
    EXPECT_EQ(origin->request_count(), asked);
    ASSERT_EQ(window->GraphWindows().size(), 2);
    GraphWindow* offline = window->GraphWindows()[1];
    ASSERT_NE(offline->Graph().RootNode(), nullptr);
    EXPECT_EQ(offline->Graph().RootNode()->kind, NodeKind::Html);
    EXPECT_EQ(offline->Graph().Nodes().size(), window->GraphWindows()[0]->Graph().Nodes().size());
    // Back online for whoever comes next.
    EXPECT_TRUE(harbord->set_offline(false));
}

}  // namespace
