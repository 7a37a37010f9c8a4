#include "viewer/gui/HelpWindow.h"

#include "foundation/ProgramPath.h"
#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/Icons.h"

#include <QDir>
#include <QFileInfo>
#include <QToolBar>
#include <QVBoxLayout>

QString DefaultHelpDirectory() {
    QString program = QString::fromLocal8Bit(program_dir().c_str());
    QString beside = program + "/vantlow-help";
    QString installed = QDir::cleanPath(program + "/../share/quaylo/vantlow-help");
    if (!QFileInfo(beside).isDir() && QFileInfo(installed).isDir()) return installed;
    return beside;
}

HelpBrowser::HelpBrowser(const NodeIcons& icons, QWidget* parent) : QTextBrowser(parent), icons_(icons) {
    // Links that leave the help open in the user's browser, not in here.
    setOpenExternalLinks(true);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (type == QTextDocument::ImageResource && name.scheme() == "kind") {
        bool number = false;
        int code = name.path().toInt(&number);
        if (number) return icons_.Icon(code);
    }
    return QTextBrowser::loadResource(type, name);
}

HelpWindow::HelpWindow(const NodeIcons& icons, const QString& directory, QWidget* parent)
    : QWidget(parent, Qt::Window), directory_(directory), browser_(new HelpBrowser(icons, this)) {
    setWindowTitle(gui_text::kHelpTitle);
    auto* bar = new QToolBar(this);
    bar->addAction(gui_text::kHelpContentsButton, this, [this] { ShowPage(help_page::kContents); });
    bar->addAction(gui_text::kHelpSymbolsButton, this, [this] { ShowPage(help_page::kSymbols); });
    QAction* back = bar->addAction(gui_text::kHelpBack, browser_, &QTextBrowser::backward);
    QAction* forward = bar->addAction(gui_text::kHelpForward, browser_, &QTextBrowser::forward);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar);
    layout->addWidget(browser_);
    resize(640, 560);
}

bool HelpWindow::ShowPage(const QString& file) {
    QFileInfo page(QDir(directory_).filePath(file));
    if (!page.isFile() || !page.isReadable()) return false;
    browser_->setSource(QUrl::fromLocalFile(page.absoluteFilePath()));
    return true;
}

QString HelpWindow::MissingText(const QString& file) const {
    return QString(gui_text::kHelpMissing).arg(QDir(directory_).filePath(file), gui_text::kOnlineHelpUrl);
}
