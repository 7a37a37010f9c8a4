// A main window with one graph window, shown on the offscreen platform, and
// helpers to place nodes and reach canvas points with the mouse.
#pragma once

#include "GuiTestSupport.h"

#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/MainWindow.h"

#include <QApplication>
#include <QMdiSubWindow>

#include <gtest/gtest.h>

#include <memory>

class GraphWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        config.Open(dir.File("vantlow.ini"));
        main = std::make_unique<MainWindow>(prompts, config);
        main->resize(1400, 1000);
        main->show();
        window = main->OpenGraphWindow("test graph");
        window->parentWidget()->resize(1200, 850);
        QApplication::processEvents();
    }
    void TearDown() override { main.reset(); }

    GraphNode* AddNode(int id, int left, int top, int width = 80, int height = 30,
                       NodeKind kind = NodeKind::Html) {
        auto node = std::make_unique<GraphNode>(id, "n" + std::to_string(id),
                                                "http://site.test/n" + std::to_string(id) + ".html",
                                                Rectangle(Point{left, top}, Size{width, height}));
        node->kind = kind;
        return window->Graph().AddNode(std::move(node));
    }
    GraphEdge* Link(GraphNode* source, GraphNode* target) {
        return window->Graph().AddEdge(std::make_unique<GraphEdge>(source, target));
    }
    void Refresh() {
        window->RecomputeEdges();
        window->UpdateExtent();
        window->Canvas()->SetOrigin(QPoint(0, 0));
    }
    QWidget* Area() const { return window->Canvas()->DrawArea(); }
    QPoint At(int x, int y) const { return window->Canvas()->FromCanvas(QPoint(x, y)); }

    TempDir dir;
    IniFile config;
    ScriptedPrompts prompts;
    std::unique_ptr<MainWindow> main;
    GraphWindow* window = nullptr;
};
