#include "AppTestSupport.h"

#include "viewer/app/jobs/ProgressWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

// One application object for every test of the executable; configuration
// and state files of the program go below a temporary home.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        home_ = std::make_unique<AppTempDir>();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home_->File("config")));
        qputenv("XDG_STATE_HOME", QByteArray::fromStdString(home_->File("state")));
        app_ = new QApplication(argc_, argv_);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
        home_.reset();
    }

private:
    int argc_ = 1;
    char name_[16] = "app_test";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
    std::unique_ptr<AppTempDir> home_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

AppTempDir::AppTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "viewer-app-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
}

AppTempDir::~AppTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

ScriptedAppPrompts::ScriptedAppPrompts() {
    progress = [this](ProgressWindow& window) {
        progressRuns.emplace_back();
        return RunProgressToEnd(window, progressRuns.back());
    };
}

void ScriptedAppPrompts::Error(QWidget*, const QString& text) {
    errors << text;
}

void ScriptedAppPrompts::Inform(QWidget*, const QString& text) {
    informed << text;
}

bool ScriptedAppPrompts::AskYesNo(QWidget*, const QString& text) {
    asked << text;
    if (answers.empty()) return false;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
}

int ScriptedAppPrompts::Run(QDialog& dialog) {
    if (auto* window = qobject_cast<ProgressWindow*>(&dialog)) return progress(*window);
    dialogTitles << dialog.windowTitle();
    if (dialogs.empty()) return QDialog::Rejected;
    DialogScript script = std::move(dialogs.front());
    dialogs.pop_front();
    return script(dialog);
}

int ScriptedAppPrompts::RunProgressToEnd(ProgressWindow& window, ProgressRecord& record,
                                         const std::function<void(ProgressWindow&)>& whileRunning) {
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        if (whileRunning) whileRunning(window);
        if (window.Finished() && window.isVisible() && window.StopButton()->isEnabled()) {
            record.problems = window.Problems();
            record.line0 = window.LineText(0);
            record.okPressed = true;
            window.StopButton()->click();
        }
    });
    poll.start();
    int result = window.exec();
    poll.stop();
    record.problems = window.Problems();
    for (int i = 0; i < window.Messages()->count(); i++) record.messages << window.Messages()->item(i)->text();
    if (!record.okPressed) record.line0 = window.LineText(0);
    record.left = window.LeftField()->text();
    return result;
}

bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
