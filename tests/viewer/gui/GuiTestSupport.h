// Shared pieces of the GUI tests: prompts that answer from a script, mouse
// events sent straight to a widget, a browser stand-in that records its
// arguments, and a main window with one graph window on the offscreen
// platform (the application object is made once per test program).
#pragma once

#include "testsupport/TempDir.h"
#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/MainWindow.h"
#include "viewer/gui/UserPrompts.h"

#include <QPoint>
#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>

// Writes an executable shell script that appends each argument on a line,
// then "END", to the record file.
void WriteRecorder(const std::string& script, const std::string& record);
// Waits (events processed) until the record holds "END" or a generous
// deadline passes; returns its text.
std::string WaitForRecord(const std::string& path);

// Prompts that never block: answers come from the fields below.
class ScriptedPrompts : public UserPrompts {
public:
    void Inform(QWidget*, const QString& text) override { informed << text; }
    bool AskYesNo(QWidget* parent, const QString& text) override;
    bool EditBrowser(QWidget* parent, IniFile& config) override;
    QString OpenFileName(QWidget*, const QString& title, const QStringList& filters) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QStringList& filters) override {
        return OpenFileName(parent, title, filters);
    }
    void About(QWidget*) override { abouts++; }

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

void SendMouse(QWidget* widget, int type, QPoint position, int button, int buttons, int modifiers = 0);
void Press(QWidget* widget, QPoint position, int button = 1 /* left */, int modifiers = 0);
void MoveWithButton(QWidget* widget, QPoint position, int buttons = 1);
void Hover(QWidget* widget, QPoint position);
void Release(QWidget* widget, QPoint position, int button = 1);
void DoubleClick(QWidget* widget, QPoint position);

class GraphWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { main.reset(); }

    GraphNode* AddNode(int id, int left, int top, int width = 80, int height = 30, NodeKind kind = NodeKind::Html);
    GraphEdge* Link(GraphNode* source, GraphNode* target);
    // Edge geometry and extent after nodes were added, the view at the origin.
    void Refresh();
    QWidget* Area() const { return window->Canvas()->DrawArea(); }
    // Where a canvas point is on the drawing area.
    QPoint At(int x, int y) const { return window->Canvas()->FromCanvas(QPoint(x, y)); }
    // The drawing area as it is painted now.
    QImage Picture() const;

    TempDir dir{"viewer-gui"};
    IniFile config;
    ScriptedPrompts prompts;
    std::unique_ptr<MainWindow> main;
    GraphWindow* window = nullptr;
};
