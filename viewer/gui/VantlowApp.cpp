#include "viewer/gui/VantlowApp.h"

#include "viewer/gui/GraphPainter.h"
#include "viewer/gui/GraphWindow.h"
#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/Icons.h"
#include "viewer/gui/IniFile.h"
#include "viewer/gui/MainWindow.h"
#include "viewer/gui/UserPrompts.h"

#include "foundation/Fail.h"
#include "viewer/graph/GraphFile.h"
#include "viewer/graph/SiteGraph.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSplashScreen>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kPictureMargin = 20;

bool ParseProxy(const char* text, ProxyAddress& proxy) {
    std::string value(text);
    size_t colon = value.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    char* end = nullptr;
    long port = std::strtol(value.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) return false;
    proxy.host = value.substr(0, colon);
    proxy.port = static_cast<uint16_t>(port);
    return true;
}

bool ParseSide(const char* text, int& side) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (!*text || *end != '\0' || value < kMinPictureSide || value > kMaxPictureSide) return false;
    side = static_cast<int>(value);
    return true;
}

void PrintRenderUsage() {
    std::fprintf(stderr, "usage: vantlow --render FILE.gra OUT.png [--width W --height H]\n"
                         "  W and H from %d to %d pixels; without them the picture takes the graph's size.\n",
                 kMinPictureSide, kMaxPictureSide);
}

}  // namespace

ProbeResult ProbeProxyAtStart(const ProxyAddress& proxy, const std::function<void(const std::string&)>& status) {
    return ProxyProbe(proxy, status);
}

bool SwitchProxyOffline(const ProxyAddress& proxy, bool offline,
                        const std::function<void(const std::string&)>& status) {
    if (SwitchProxyMode(proxy, offline)) return true;
    std::string reason = fail_pending() ? fail_take() : "";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    status(reason.empty() ? std::string("The proxy did not answer.") : reason);
    return false;
}

QImage RenderGraph(SiteGraph& graph, int width, int height) {
    NodeIcons icons;
    GraphPainter painter(icons);
    EdgeRouting routing;
    routing.Recompute(graph);
    QRect extent = GraphExtent(graph);
    if (extent.isEmpty()) extent = QRect(0, 0, 1, 1);
    if (width <= 0) width = std::min(kDefaultMaxPictureSide, extent.width() + 2 * kPictureMargin);
    if (height <= 0) height = std::min(kDefaultMaxPictureSide, extent.height() + 2 * kPictureMargin);

    double scale = std::min({1.0, double(width - 2 * kPictureMargin) / extent.width(),
                             double(height - 2 * kPictureMargin) / extent.height()});
    scale = std::max(scale, 0.01);
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(ScrollCanvas::BackgroundColour());
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    // The graph centred in the picture.
    p.translate((width - extent.width() * scale) / 2, (height - extent.height() * scale) / 2);
    p.scale(scale, scale);
    p.translate(-extent.left(), -extent.top());
    painter.Paint(p, graph, routing, extent);
    p.end();
    return image;
}

bool RenderGraphFile(const std::string& graphPath, const std::string& pngPath, int width, int height,
                     std::string& error) {
    QFileInfo file(QString::fromStdString(graphPath));
    if (!file.exists() || !file.isFile() || !file.isReadable()) {
        error = gui_text::kGraphFileUnreadable + graphPath;
        return false;
    }
    if (file.size() > GraphWindow::kMaxGraphFileBytes) {
        error = gui_text::kGraphFileTooLarge + graphPath;
        return false;
    }
    SiteGraph graph;
    NodeIcons icons;
    GraphPainter painter(icons);
    if (!LoadGraphFile(graph, graphPath, painter.Measure())) {
        error = gui_text::kGraphFileUnreadable + graphPath;
        return false;
    }
    if (graph.Nodes().empty()) {
        error = gui_text::kGraphFileEmpty + graphPath;
        return false;
    }
    QImage image = RenderGraph(graph, width, height);
    if (!image.save(QString::fromStdString(pngPath), "PNG")) {
        error = "The picture could not be written: " + pngPath;
        return false;
    }
    return true;
}

int RunVantlowRender(int argc, char** argv) {
    std::vector<std::string> files;
    int width = 0, height = 0;
    for (int i = 2; i < argc; i++) {
        if ((!std::strcmp(argv[i], "--width") || !std::strcmp(argv[i], "--height")) && i + 1 < argc) {
            int& side = argv[i][2] == 'w' ? width : height;
            if (!ParseSide(argv[i + 1], side)) {
                std::fprintf(stderr, "vantlow: %s needs a number from %d to %d\n", argv[i], kMinPictureSide,
                             kMaxPictureSide);
                return 2;
            }
            i++;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "vantlow: unknown option %s\n", argv[i]);
            PrintRenderUsage();
            return 2;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2) {
        PrintRenderUsage();
        return 2;
    }
    // Drawing needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    std::string error;
    if (!RenderGraphFile(files[0], files[1], width, height, error)) {
        std::fprintf(stderr, "vantlow: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

bool ParseGuiArguments(int argc, char** argv, StartOptions& options, std::string& error) {
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--proxy")) {
            if (i + 1 >= argc || !ParseProxy(argv[i + 1], options.proxy)) {
                error = "--proxy needs HOST:PORT";
                return false;
            }
            i++;
        } else if (argv[i][0] == '-') {
            // Qt's own options (-style, -platform ...) are Qt's business.
        } else {
            options.graphFiles << QString::fromLocal8Bit(argv[i]);
        }
    }
    return true;
}

void ApplyApplicationFont() {
    QFont font("MS Sans Serif");
    font.setPointSize(10);
    QApplication::setFont(font);
}

VantlowSession::VantlowSession(const StartOptions& options, UserPrompts* prompts)
    : ownPrompts_(prompts ? nullptr : std::make_unique<DialogPrompts>()),
      prompts_(prompts ? *prompts : *ownPrompts_) {
    config_.Open(DefaultConfigPath());
    window_ = std::make_unique<MainWindow>(prompts_, config_);
    window_->setWindowTitle(gui_text::kProgramName);
    if (QScreen* screen = QGuiApplication::primaryScreen()) window_->resize(screen->availableSize() * 4 / 5);
    window_->ShowAsBefore();

    MainWindow* window = window_.get();
    proxyState_ = ProbeProxyAtStart(options.proxy, [window](const std::string& text) {
        window->ShowStatus(QString::fromStdString(text));
        QCoreApplication::processEvents();
    });
    // Graph files named on the command line open in windows of their own.
    for (const QString& file : options.graphFiles) window_->OpenGraphFile(file);
    window_->UpdateMenuState();
}

VantlowSession::~VantlowSession() = default;

int RunVantlowGui(int argc, char** argv, const SessionStarted& started) {
    StartOptions options;
    std::string error;
    if (!ParseGuiArguments(argc, argv, options, error)) {
        std::fprintf(stderr, "vantlow: %s\n", error.c_str());
        return 2;
    }
    // Without a display Qt would end the program with its own fatal error.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "vantlow: no display to show the windows on (DISPLAY is not set); "
                             "see 'vantlow --help' for the load job without a window, or use "
                             "'vantlow --render FILE.gra OUT.png' for a picture of a graph.\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(gui_text::kProgramName);
    ApplyApplicationFont();

    QSplashScreen splash(QPixmap::fromImage(SplashImage()), Qt::WindowStaysOnTopHint);
    splash.show();
    app.processEvents();
    VantlowSession session(options);
    if (started) started(session, options);
    splash.finish(&session.Window());
    return app.exec();
}
