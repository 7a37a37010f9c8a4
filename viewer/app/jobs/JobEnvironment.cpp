#include "viewer/app/jobs/JobEnvironment.h"

#include "viewer/gui/MainWindow.h"

GraphWindow* MainWindowEnvironment::OpenGraphWindow(const QString& title) {
    return window_.OpenGraphWindow(title);
}

void MainWindowEnvironment::ShowStatus(const QString& text) {
    window_.ShowStatus(text);
}

QString MainWindowEnvironment::StatusText() const {
    return window_.StatusText();
}

bool MainWindowEnvironment::StartBrowser(QWidget* parent, const std::string& url) {
    return window_.StartBrowser(parent, url);
}

QWidget* MainWindowEnvironment::Window() {
    return &window_;
}

QMdiArea* MainWindowEnvironment::MdiArea() {
    return window_.MdiArea();
}
