// The windowed program's entry points: the start-up of the main window, the
// proxy check at start-up, and drawing a graph file into a picture.
#pragma once

#include "viewer/loader/ProxyAddress.h"
#include "viewer/loader/ProxyControl.h"

#include "viewer/gui/IniFile.h"
#include "viewer/gui/VantlowMain.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <string>

class MainWindow;
class QImage;
class SiteGraph;
class UserPrompts;

struct StartOptions {
    ProxyAddress proxy = DefaultProxy();
    QStringList graphFiles;
};
// The windowed program's arguments; false with the reason.
bool ParseGuiArguments(int argc, char** argv, StartOptions& options, std::string& error);
// "MS Sans Serif", 10 points, for every window of the program.
void ApplyApplicationFont();

// The program once started: the main window built and shown, the
// configuration file read from its per-user place, the proxy checked (and
// started when nothing listens), the graph files opened.
class VantlowSession {
public:
    // Without prompts of the caller's, the real dialogs ask.
    explicit VantlowSession(const StartOptions& options, UserPrompts* prompts = nullptr);
    ~VantlowSession();

    MainWindow& Window() { return *window_; }
    IniFile& Config() { return config_; }
    ProbeResult ProxyState() const { return proxyState_; }

private:
    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts& prompts_;
    IniFile config_;
    std::unique_ptr<MainWindow> window_;
    ProbeResult proxyState_ = ProbeResult::NotLocal;
};

// The proxy check of the start-up: probes the proxy and starts the `harbord`
// beside the program when nothing listens; status texts go to status.
ProbeResult ProbeProxyAtStart(const ProxyAddress& proxy, const std::function<void(const std::string&)>& status);

// Switches the proxy online or offline; a failure's text goes to status.
bool SwitchProxyOffline(const ProxyAddress& proxy, bool offline,
                        const std::function<void(const std::string&)>& status);

// Picture size limits of the render command.
constexpr int kMinPictureSide = 16;
constexpr int kMaxPictureSide = 8192;
constexpr int kDefaultMaxPictureSide = 4096;

// Draws the graph file scaled into a width x height picture (0 for the
// graph's own size, bounded by kDefaultMaxPictureSide). False with a reason.
bool RenderGraphFile(const std::string& graphPath, const std::string& pngPath, int width, int height,
                     std::string& error);
// The same drawing into an image of the graph as it is.
QImage RenderGraph(SiteGraph& graph, int width, int height);
