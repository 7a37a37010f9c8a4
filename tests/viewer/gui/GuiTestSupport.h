// Shared pieces of the GUI tests: prompts that answer from a script, a
// browser stand-in that records its arguments, and a main window with one
// graph window on the offscreen platform (the application object is made
// once per test program). Mouse events come from QTest.
#pragma once

#include "testsupport/TempDir.h"
#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/MainWindow.h"
#include "viewer/gui/UserPrompts.h"

#include <QTest>

#include <gtest/gtest.h>

#include <deque>

// An executable script that appends each argument on a line, then "END", to the record.
void WriteRecorder(const std::string& script, const std::string& record);
// Waits (events processed) until the record holds "END" or a generous deadline passes.
std::string WaitForRecord(const std::string& path);
// A mouse move without a button pressed.
void Hover(QWidget* widget, QPoint position);

// Prompts that never block: answers come from the fields below.
class ScriptedPrompts : public UserPrompts {
public:
    void Inform(QWidget*, const QString& text) override { informed << text; }
    bool AskYesNo(QWidget*, const QString& text) override {
        asked << text;
        bool yes = !answers.empty() && answers.front();
        if (!answers.empty()) answers.pop_front();
        return yes;
    }
    bool EditBrowser(QWidget*, IniFile& config) override {
        browserDialogs++;
        return !browserCommandToEnter.empty() && config.Write(ini::kGeneral, ini::kBrowser, browserCommandToEnter);
    }
    QString OpenFileName(QWidget*, const QString& title, const QStringList& filters) override {
        lastTitle = title;
        lastFilters = filters;
        return fileName;
    }
    QString SaveFileName(QWidget* parent, const QString& title, const QStringList& filters) override {
        return OpenFileName(parent, title, filters);
    }
    void About(QWidget*) override { abouts++; }

    QStringList informed, asked;
    std::deque<bool> answers;  // for AskYesNo; "no" when empty
    int browserDialogs = 0, abouts = 0;
    std::string browserCommandToEnter;  // written by the browser dialog; empty: cancel
    QString fileName;                   // answer of both file dialogs
    QString lastTitle;
    QStringList lastFilters;
};

class GraphWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { main.reset(); }

    GraphNode* AddNode(int id, int left, int top, int width = 80, int height = 30, NodeKind kind = NodeKind::Html);
    GraphEdge* Link(GraphNode* source, GraphNode* target) {
        return window->Graph().AddEdge(std::make_unique<GraphEdge>(source, target));
    }
    // Edge geometry and extent after nodes were added, the view at the origin.
    void Refresh() { window->RepaintAfterEdit(), window->Canvas()->SetOrigin(QPoint(0, 0)); }
    QWidget* Area() const { return window->Canvas()->DrawArea(); }
    // Where a canvas point is on the drawing area.
    QPoint At(int x, int y) const { return window->Canvas()->FromCanvas(QPoint(x, y)); }
    void Press(int x, int y, Qt::KeyboardModifiers keys = {}) { QTest::mousePress(Area(), Qt::LeftButton, keys, At(x, y)); }
    void Drag(int x, int y) { QTest::mouseMove(Area(), At(x, y)); }
    void Release(int x, int y) { QTest::mouseRelease(Area(), Qt::LeftButton, {}, At(x, y)); }
    void Click(int x, int y, Qt::KeyboardModifiers keys = {}) { QTest::mouseClick(Area(), Qt::LeftButton, keys, At(x, y)); }
    void DragFromTo(QPoint from, QPoint to) { Press(from.x(), from.y()), Drag(to.x(), to.y()), Release(to.x(), to.y()); }
    // The graph command with this file name chosen in its dialog.
    void CommandWithFile(int id, const std::string& name) {
        prompts.fileName = QString::fromStdString(dir.file(name));
        window->Command(id);
    }
    // The drawing area as it is painted now.
    QImage Picture() const { return Area()->grab().toImage(); }

    TempDir dir{"viewer-gui"};
    IniFile config;
    ScriptedPrompts prompts;
    std::unique_ptr<MainWindow> main;
    GraphWindow* window = nullptr;
};
