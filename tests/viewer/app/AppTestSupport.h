// Shared pieces of the load-job and dial-up tests: the application object
// (offscreen, configuration and state below a temporary home), prompts that
// answer from a script so that no dialog or box ever blocks, and quiet
// prompts for the main window; with them what every such test includes.
#pragma once

#include "FakeRas.h"

#include "testsupport/TempDir.h"
#include "viewer/app/jobs/AppPrompts.h"
#include "viewer/app/jobs/ProgressWindow.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/UserPrompts.h"

#include <QTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <thread>

// One application object for every test of the executable.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home_.file("config")));
        qputenv("XDG_STATE_HOME", QByteArray::fromStdString(home_.file("state")));
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    TempDir home_{"viewer-app"};
    int argc_ = 1;
    char name_[16] = "app_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
inline ::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// What one run of a progress window showed.
struct ProgressRecord {
    bool okPressed = false;  // it waited after problems and the script pressed "OK"
    QStringList messages;
    QString line0;  // line 0 when the job ended
};

// Also the main window's prompts; it never asks a file name or a browser.
class ScriptedAppPrompts : public AppPrompts, public UserPrompts {
public:
    using DialogScript = std::function<int(QDialog&)>;

    void Error(QWidget*, const QString& text) override { errors << text; }
    void Inform(QWidget*, const QString& text) override { informed << text; }
    // The next of `answers`; "no" when none is left.
    bool AskYesNo(QWidget*, const QString& text) override {
        asked << text;
        const bool answer = !answers.empty() && answers.front();
        return answers.empty() ? false : (answers.pop_front(), answer);
    }
    bool EditBrowser(QWidget*, IniFile&) override { return false; }
    QString OpenFileName(QWidget*, const QString&, const QStringList&) override { return QString(); }
    QString SaveFileName(QWidget*, const QString&, const QStringList&) override { return QString(); }
    void About(QWidget*) override {}
    // Progress windows go to `progress`, every other dialog to the next of
    // `dialogs` (none left: it is cancelled).
    int Run(QDialog& dialog) override {
        if (auto* window = qobject_cast<ProgressWindow*>(&dialog)) return progress(*window);
        dialogTitles << dialog.windowTitle();
        if (dialogs.empty()) return QDialog::Rejected;
        DialogScript script = std::move(dialogs.front());
        dialogs.pop_front();
        return script(dialog);
    }

    // Runs the window as the program does (exec) and presses "OK" when it
    // waits after a job with problems; whileRunning is called as it runs.
    static int RunProgressToEnd(ProgressWindow& window, ProgressRecord& record,
                                const std::function<void(ProgressWindow&)>& whileRunning = {}) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &window, [&] {
            if (whileRunning) whileRunning(window);
            if (window.Finished() && window.isVisible() && window.StopButton()->isEnabled()) {
                record.line0 = window.LineText(0), record.okPressed = true;
                window.StopButton()->click();
            }
        });
        poll.start(5);
        int result = window.exec();
        for (int i = 0; i < window.Messages()->count(); i++) record.messages << window.Messages()->item(i)->text();
        if (!record.okPressed) record.line0 = window.LineText(0);
        return result;
    }

    QStringList errors, informed, asked, dialogTitles;
    std::deque<bool> answers;
    std::deque<DialogScript> dialogs;
    std::vector<ProgressRecord> progressRuns;
    std::function<int(ProgressWindow&)> progress = [this](ProgressWindow& window) {
        return RunProgressToEnd(window, progressRuns.emplace_back());
    };
};

// Processes events until condition holds (or a generous deadline passes).
inline bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs = 60000) {
    QDeadlineTimer deadline(timeoutMs);
    for (; !condition() && !deadline.hasExpired(); QThread::msleep(2)) QCoreApplication::processEvents();
    return condition();
}
