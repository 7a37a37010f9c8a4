#include "GuiTestSupport.h"

#include <QApplication>
#include <QDeadlineTimer>

#include <sys/stat.h>

namespace {

// One application object for every test of the executable.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = new QApplication(argc_, argv_);
    }
    void TearDown() override { delete app_; }

private:
    int argc_ = 1;
    char name_[16] = "gui_test";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void WriteRecorder(const std::string& script, const std::string& record) {
    write_file(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record + "'; done\necho END >> '" +
                           record + "'\n");
    ::chmod(script.c_str(), 0755);
}

std::string WaitForRecord(const std::string& path) {
    QDeadlineTimer deadline(20000);
    while (read_file(path).find("END\n") == std::string::npos && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return read_file(path);
}

void Hover(QWidget* widget, QPoint position) {
    QMouseEvent event(QEvent::MouseMove, position, widget->mapToGlobal(position), Qt::NoButton, {}, {});
    QCoreApplication::sendEvent(widget, &event);
}

void GraphWindowTest::SetUp() {
    config.Open(dir.file("vantlow.ini"));
    main = std::make_unique<MainWindow>(prompts, config);
    main->resize(1400, 1000);
    main->show();
    window = main->OpenGraphWindow("test graph");
    window->parentWidget()->resize(1200, 850);
    QApplication::processEvents();
}

GraphNode* GraphWindowTest::AddNode(int id, int left, int top, int width, int height, NodeKind kind) {
    std::string name = "n" + std::to_string(id);
    auto node = std::make_unique<GraphNode>(id, name, "http://site.test/" + name + ".html",
                                            Rectangle(Point{left, top}, Size{width, height}));
    node->kind = kind;
    return window->Graph().AddNode(std::move(node));
}
