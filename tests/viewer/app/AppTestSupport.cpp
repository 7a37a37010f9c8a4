#include "AppTestSupport.h"

#include "viewer/app/jobs/ProgressWindow.h"

namespace {

// One application object for every test of the executable.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        home_ = std::make_unique<TempDir>("viewer-app");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home_->file("config")));
        qputenv("XDG_STATE_HOME", QByteArray::fromStdString(home_->file("state")));
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        app_.reset();
        home_.reset();
    }

private:
    int argc_ = 1;
    char name_[16] = "app_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<TempDir> home_;
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

ScriptedAppPrompts::ScriptedAppPrompts() {
    progress = [this](ProgressWindow& window) {
        progressRuns.emplace_back();
        return RunProgressToEnd(window, progressRuns.back());
    };
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
            record.line0 = window.LineText(0);
            record.okPressed = true;
            window.StopButton()->click();
        }
    });
    poll.start();
    int result = window.exec();
    record.problems = window.Problems();
    for (int i = 0; i < window.Messages()->count(); i++) record.messages << window.Messages()->item(i)->text();
    if (!record.okPressed) record.line0 = window.LineText(0);
    return result;
}

bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return condition();
}
