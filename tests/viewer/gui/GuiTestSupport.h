// Shared pieces of the GUI tests: the application object, a temporary
// directory, prompts that answer from a script, and mouse events sent
// straight to a widget.
#pragma once

#include "viewer/gui/IniFile.h"
#include "viewer/gui/UserPrompts.h"

#include <QPoint>
#include <QString>
#include <QStringList>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>

class QWidget;

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& text);
// Writes an executable shell script.
void WriteScript(const std::string& path, const std::string& body);
// Waits (events processed) until the file exists and holds a complete last
// line, or a generous deadline passes; returns its text.
std::string WaitForFile(const std::string& path);

// Prompts that never block: answers come from the fields below, every call
// is counted.
class ScriptedPrompts : public UserPrompts {
public:
    void Inform(QWidget* parent, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& text) override;
    bool EditBrowser(QWidget* parent, IniFile& config) override;
    QString OpenFileName(QWidget* parent, const QString& title, const QStringList& filters) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QStringList& filters) override;
    void About(QWidget* parent) override;

    QStringList informed;
    QStringList asked;
    std::deque<bool> answers;  // for AskYesNo; "no" when empty
    int browserDialogs = 0;
    std::string browserCommandToEnter;  // written by the browser dialog; empty: cancel
    QString fileName;                   // answer of both file dialogs
    QString lastTitle;
    QStringList lastFilters;
    int abouts = 0;
};

// Sends a mouse event of the given type straight to the widget.
void SendMouse(QWidget* widget, int type, QPoint position, int button, int buttons, int modifiers = 0);
void Press(QWidget* widget, QPoint position, int button = 1 /* left */, int modifiers = 0);
void MoveWithButton(QWidget* widget, QPoint position, int buttons = 1);
void Release(QWidget* widget, QPoint position, int button = 1);
void DoubleClick(QWidget* widget, QPoint position);
