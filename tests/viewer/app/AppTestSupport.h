// Shared pieces of the load-job and dial-up tests: the application object,
// temporary directories, prompts that answer from a script (so no dialog or
// box ever blocks), and quiet prompts for the main window.
#pragma once

#include "viewer/app/jobs/AppPrompts.h"
#include "viewer/gui/UserPrompts.h"

#include <QDialog>
#include <QStringList>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class ProgressWindow;

class AppTempDir {
public:
    AppTempDir();
    ~AppTempDir();
    AppTempDir(const AppTempDir&) = delete;
    AppTempDir& operator=(const AppTempDir&) = delete;

    std::string Path() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

// What one run of a progress window showed.
struct ProgressRecord {
    bool problems = false;
    bool okPressed = false;  // it waited and the script pressed "OK"
    QStringList messages;
    QString line0;           // line 0 when it closed
    QString left;
};

class ScriptedAppPrompts : public AppPrompts {
public:
    using DialogScript = std::function<int(QDialog&)>;

    void Error(QWidget* parent, const QString& text) override;
    void Inform(QWidget* parent, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& text) override;
    // Progress windows go to `progress`; every other dialog to the next
    // script in `dialogs` (none left: the dialog is cancelled).
    int Run(QDialog& dialog) override;

    QStringList errors;
    QStringList informed;
    QStringList asked;
    std::deque<bool> answers;  // for AskYesNo; "no" when empty
    std::deque<DialogScript> dialogs;
    QStringList dialogTitles;  // every non-progress dialog run, by title
    // Runs the window as the program does (exec) and presses "OK" when it
    // waits after a job with problems.
    std::function<int(ProgressWindow&)> progress;
    std::vector<ProgressRecord> progressRuns;

    ScriptedAppPrompts();
    static int RunProgressToEnd(ProgressWindow& window, ProgressRecord& record,
                                const std::function<void(ProgressWindow&)>& whileRunning = {});
};

// The main window's prompts: never shown, every call counted.
class QuietUserPrompts : public UserPrompts {
public:
    void Inform(QWidget*, const QString& text) override { informed << text; }
    bool AskYesNo(QWidget*, const QString& text) override {
        asked << text;
        return true;
    }
    bool EditBrowser(QWidget*, IniFile&) override { return false; }
    QString OpenFileName(QWidget*, const QString&, const QStringList&) override { return QString(); }
    QString SaveFileName(QWidget*, const QString&, const QStringList&) override { return QString(); }
    void About(QWidget*) override {}

    QStringList informed;
    QStringList asked;
};

// Processes events until condition holds (or a generous deadline passes).
bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs = 60000);
