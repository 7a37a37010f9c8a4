// What the job manager needs from the program around it: graph windows, the
// status bar, the browser and a place for the job window. The main window
// provides it; MainWindowEnvironment adapts it.
#pragma once

#include <QString>

#include <string>

class GraphWindow;
class MainWindow;
class QMdiArea;
class QWidget;

class JobEnvironment {
public:
    virtual ~JobEnvironment() = default;

    // A new, empty graph window, shown.
    virtual GraphWindow* OpenGraphWindow(const QString& title) = 0;
    virtual void ShowStatus(const QString& text) = 0;
    virtual QString StatusText() const = 0;
    virtual bool StartBrowser(QWidget* parent, const std::string& url) = 0;
    // The parent of the dialogs.
    virtual QWidget* Window() = 0;
    // Where the "Scheduled Load Job" window goes; null: a window of its own.
    virtual QMdiArea* MdiArea() = 0;
};

class MainWindowEnvironment : public JobEnvironment {
public:
    explicit MainWindowEnvironment(MainWindow& window) : window_(window) {}

    GraphWindow* OpenGraphWindow(const QString& title) override;
    void ShowStatus(const QString& text) override;
    QString StatusText() const override;
    bool StartBrowser(QWidget* parent, const std::string& url) override;
    QWidget* Window() override;
    QMdiArea* MdiArea() override;

private:
    MainWindow& window_;
};
