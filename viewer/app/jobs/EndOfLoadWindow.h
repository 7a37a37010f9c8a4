// The window that ends a load job: the pages are in the proxy's cache now;
// the user may open the start page in the browser or look at the graph.
// Closing it before the graph was shown closes the graph window as well.
#pragma once

#include "viewer/gui/GraphWindow.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <string>

class QLabel;
class QPushButton;

class EndOfLoadWindow : public QDialog {
    Q_OBJECT
public:
    struct Actions {
        // Starts the browser on the url; false when it did not start.
        std::function<bool(QWidget* parent, const std::string& url)> startBrowser;
        // Prepares the graph window for display and brings it forward.
        std::function<void(GraphWindow&)> showGraph;
    };

    // graphShown: the graph is on view already (shown at once, or a job
    // into a window the user is looking at).
    // outcome: what the job came to; startFailed: its start page could not be
    // loaded, and the window says so instead of offering offline reading.
    EndOfLoadWindow(GraphWindow* window, std::string startUrl, bool graphShown, Actions actions,
                    const QString& outcome, bool startFailed, QWidget* parent = nullptr);
    QLabel* Message() const { return message_; }

    QPushButton* BrowserButton() const { return browser_; }
    QPushButton* ShowGraphButton() const { return showGraph_; }
    QPushButton* CloseButton() const { return close_; }
    bool GraphShown() const { return graphShown_; }
    GraphWindow* Window() const { return window_; }

    void StartBrowser();
    void ShowGraph();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void MarkShown();

    QPointer<GraphWindow> window_;
    std::string startUrl_;
    bool graphShown_;
    Actions actions_;
    QPushButton* browser_;
    QPushButton* showGraph_;
    QPushButton* close_;
    QLabel* message_;
};
