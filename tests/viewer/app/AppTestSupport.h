// Shared pieces of the load-job and dial-up tests: the application object
// (offscreen, configuration and state below a temporary home), prompts that
// answer from a script so that no dialog or box ever blocks, and quiet
// prompts for the main window; with them what every such test includes.
#pragma once

#include "FakeRas.h"

#include "testsupport/TempDir.h"
#include "viewer/app/jobs/AppPrompts.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/UserPrompts.h"

#include <QTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <thread>
#include <vector>

class ProgressWindow;

// What one run of a progress window showed.
struct ProgressRecord {
    bool problems = false;
    bool okPressed = false;  // it waited after problems and the script pressed "OK"
    QStringList messages;
    QString line0;  // line 0 when the job ended
};

class ScriptedAppPrompts : public AppPrompts {
public:
    using DialogScript = std::function<int(QDialog&)>;

    ScriptedAppPrompts();
    void Error(QWidget*, const QString& text) override { errors << text; }
    void Inform(QWidget*, const QString& text) override { informed << text; }
    // The next of `answers`; "no" when none is left.
    bool AskYesNo(QWidget*, const QString& text) override;
    // Progress windows go to `progress`, every other dialog to the next of
    // `dialogs` (none left: it is cancelled).
    int Run(QDialog& dialog) override;

    // Runs the window as the program does (exec) and presses "OK" when it
    // waits after a job with problems; whileRunning is called as it runs.
    static int RunProgressToEnd(ProgressWindow& window, ProgressRecord& record,
                                const std::function<void(ProgressWindow&)>& whileRunning = {});

    QStringList errors, informed, asked, dialogTitles;
    std::deque<bool> answers;
    std::deque<DialogScript> dialogs;
    std::function<int(ProgressWindow&)> progress;
    std::vector<ProgressRecord> progressRuns;
};

// The main window's prompts: never shown, every query answered yes.
class QuietUserPrompts : public UserPrompts {
public:
    void Inform(QWidget*, const QString&) override {}
    bool AskYesNo(QWidget*, const QString&) override { return true; }
    bool EditBrowser(QWidget*, IniFile&) override { return false; }
    QString OpenFileName(QWidget*, const QString&, const QStringList&) override { return QString(); }
    QString SaveFileName(QWidget*, const QString&, const QStringList&) override { return QString(); }
    void About(QWidget*) override {}
};

// Processes events until condition holds (or a generous deadline passes).
bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs = 60000);
