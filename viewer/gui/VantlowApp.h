// The windowed program's entry points: the start-up of the main window, the
// proxy check at start-up, and drawing a graph file into a picture.
#pragma once

#include "viewer/loader/ProxyAddress.h"
#include "viewer/loader/ProxyControl.h"

#include <functional>
#include <string>

class SiteGraph;
class QImage;

// Starts the windowed program and runs it until "Exit". Understands
// "--proxy HOST:PORT" (default 127.0.0.1:8080).
int RunVantlowGui(int argc, char** argv);

// vantlow --render FILE.gra OUT.png [--width W --height H]: argv[0] is the
// program, argv[1] "--render". Returns the exit code; errors go to stderr.
int RunVantlowRender(int argc, char** argv);

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
