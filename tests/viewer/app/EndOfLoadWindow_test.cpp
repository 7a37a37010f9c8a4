#include "AppTestSupport.h"

#include "viewer/app/jobs/EndOfLoadWindow.h"
#include "viewer/app/jobs/JobTexts.h"
#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/MainWindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class EndOfLoadWindowTest : public ::testing::Test {
protected:
    EndOfLoadWindowTest() {
        window.show();
        graph = window.OpenGraphWindow("http://a.example/");
        actions.startBrowser = [this](QWidget*, const std::string& url) {
            browserUrls.push_back(url);
            return true;
        };
        actions.showGraph = [this](GraphWindow& shown) { showGraphCalls.push_back(&shown); };
    }

    AppTempDir dir;
    IniFile config{dir.File("vantlow.ini")};
    QuietUserPrompts userPrompts;
    MainWindow window{userPrompts, config};
    QPointer<GraphWindow> graph;
    EndOfLoadWindow::Actions actions;
    std::vector<std::string> browserUrls;
    std::vector<GraphWindow*> showGraphCalls;
};

TEST_F(EndOfLoadWindowTest, SaysTheFilesCanBeReadOfflineAndOffersBrowserAndGraph) {
    auto* end = new EndOfLoadWindow(graph, "http://a.example/", false, actions, &window);
    end->show();
    EXPECT_EQ(end->windowTitle(), "Vantlow");
    EXPECT_FALSE(end->isModal());
    bool text = false;
    for (QLabel* label : end->findChildren<QLabel*>())
        text = text || label->text() ==
                           "You can now disconnect from the internet. The files have been stored in the proxy and "
                           "can now be  read offline using your browser.";
    EXPECT_TRUE(text);
    EXPECT_EQ(end->BrowserButton()->text(), "Start &browser");
    EXPECT_EQ(end->ShowGraphButton()->text(), "Show &graph");
    EXPECT_TRUE(end->ShowGraphButton()->isVisible());
    EXPECT_EQ(end->CloseButton()->toolTip(), "Close this window without showing graph.");
    EXPECT_NE(end->CloseButton()->text(), "Close");
    end->close();
}

TEST_F(EndOfLoadWindowTest, ShowGraphHidesItselfAndTheCloseButtonReadsClose) {
    QPointer<EndOfLoadWindow> end = new EndOfLoadWindow(graph, "http://a.example/", false, actions, &window);
    end->show();
    end->ShowGraphButton()->click();
    EXPECT_EQ(showGraphCalls, std::vector<GraphWindow*>{graph.data()});
    EXPECT_FALSE(end->ShowGraphButton()->isVisible());
    EXPECT_EQ(end->CloseButton()->text(), "Close");
    end->CloseButton()->click();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(end.isNull());
    EXPECT_FALSE(graph.isNull());
}

TEST_F(EndOfLoadWindowTest, ClosingBeforeTheGraphWasShownClosesTheGraphWindow) {
    auto* end = new EndOfLoadWindow(graph, "http://a.example/", false, actions, &window);
    end->show();
    end->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(graph.isNull());
    EXPECT_TRUE(window.GraphWindows().isEmpty());
    EXPECT_TRUE(showGraphCalls.empty());
}

TEST_F(EndOfLoadWindowTest, AGraphWindowClosedMeanwhileIsNoTrouble) {
    QPointer<EndOfLoadWindow> end = new EndOfLoadWindow(graph, "http://a.example/", false, actions, &window);
    end->show();
    graph->CloseWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(graph.isNull());
    end->ShowGraphButton()->click();
    EXPECT_TRUE(showGraphCalls.empty());
    end->close();
}

TEST_F(EndOfLoadWindowTest, ShownAtOnceOffersOnlyBrowserAndClose) {
    QPointer<EndOfLoadWindow> end = new EndOfLoadWindow(graph, "http://a.example/", true, actions, &window);
    end->show();
    EXPECT_FALSE(end->ShowGraphButton()->isVisible());
    EXPECT_EQ(end->CloseButton()->text(), "Close");
    end->BrowserButton()->click();
    EXPECT_EQ(browserUrls, std::vector<std::string>{"http://a.example/"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(end.isNull());
    EXPECT_FALSE(graph.isNull());
}

TEST_F(EndOfLoadWindowTest, StartBrowserBeforeShowingTheGraphClosesTheGraphToo) {
    auto* end = new EndOfLoadWindow(graph, "http://a.example/x", false, actions, &window);
    end->show();
    end->BrowserButton()->click();
    EXPECT_EQ(browserUrls, std::vector<std::string>{"http://a.example/x"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(graph.isNull());
}

}  // namespace
