// What a graph window needs from the program around it: the user prompts,
// the status bar, the browser, new windows beside it and the load wizard.
// The main window provides it.
#pragma once

#include <QString>

#include <string>

class GraphWindow;
class NodeIcons;
class QWidget;
class UserPrompts;

class GraphWindowHost {
public:
    virtual ~GraphWindowHost() = default;

    virtual UserPrompts& Prompts() = 0;
    virtual const NodeIcons& Icons() const = 0;
    virtual void ShowStatus(const QString& text) = 0;
    virtual QString StatusText() const = 0;
    // Starts the configured browser on the url; false when it did not start.
    virtual bool StartBrowser(QWidget* parent, const std::string& url) = 0;
    // A new, empty graph window shown beside the others.
    virtual GraphWindow* OpenGraphWindow(const QString& title) = 0;
    // "Expand URL...": the load wizard for this window with the url filled in.
    virtual void ExpandUrl(GraphWindow* window, const std::string& url) = 0;
    // The window's animation or panes changed: commands may change state.
    virtual void GraphWindowChanged(GraphWindow* window) = 0;
};
