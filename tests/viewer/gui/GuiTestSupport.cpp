#include "GuiTestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMouseEvent>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

// One application object for every test of the executable.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        // Each test's configuration stays in its own place, never the user's.
        app_ = new QApplication(argc_, argv_);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    int argc_ = 1;
    char name_[16] = "gui_test";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "viewer-gui-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

void WriteScript(const std::string& path, const std::string& body) {
    WriteWholeFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

std::string WaitForFile(const std::string& path) {
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        std::string text = ReadWholeFile(path);
        if (!text.empty() && text.find("END\n") != std::string::npos) return text;
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    return ReadWholeFile(path);
}

void ScriptedPrompts::Inform(QWidget*, const QString& text) {
    informed << text;
}

bool ScriptedPrompts::AskYesNo(QWidget*, const QString& text) {
    asked << text;
    if (answers.empty()) return false;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedPrompts::EditBrowser(QWidget*, IniFile& config) {
    browserDialogs++;
    if (browserCommandToEnter.empty()) return false;
    config.Write(ini::kGeneral, ini::kBrowser, browserCommandToEnter);
    return true;
}

QString ScriptedPrompts::OpenFileName(QWidget*, const QString& title, const QStringList& filters) {
    lastTitle = title;
    lastFilters = filters;
    return fileName;
}

QString ScriptedPrompts::SaveFileName(QWidget*, const QString& title, const QStringList& filters) {
    lastTitle = title;
    lastFilters = filters;
    return fileName;
}

void ScriptedPrompts::About(QWidget*) {
    abouts++;
}

void SendMouse(QWidget* widget, int type, QPoint position, int button, int buttons, int modifiers) {
    QPointF local(position);
    QMouseEvent event(static_cast<QEvent::Type>(type), local, widget->mapToGlobal(local),
                      static_cast<Qt::MouseButton>(button), Qt::MouseButtons(buttons),
                      Qt::KeyboardModifiers(modifiers));
    QCoreApplication::sendEvent(widget, &event);
}

void Press(QWidget* widget, QPoint position, int button, int modifiers) {
    SendMouse(widget, QEvent::MouseButtonPress, position, button, button, modifiers);
}

void MoveWithButton(QWidget* widget, QPoint position, int buttons) {
    SendMouse(widget, QEvent::MouseMove, position, Qt::NoButton, buttons);
}

void Release(QWidget* widget, QPoint position, int button) {
    SendMouse(widget, QEvent::MouseButtonRelease, position, button, Qt::NoButton);
}

void DoubleClick(QWidget* widget, QPoint position) {
    Press(widget, position);
    Release(widget, position);
    SendMouse(widget, QEvent::MouseButtonDblClick, position, Qt::LeftButton, Qt::LeftButton);
    Release(widget, position);
}
