// The program's help: HTML pages shipped in a help directory beside the
// program (or in the installation's share directory), shown in a window of
// their own with contents, back and forward. Pictures named "kind:<code>"
// in a page are the node icons the graph windows draw, so the symbols page
// always shows the icons of this very program.
#pragma once

#include <QString>
#include <QTextBrowser>
#include <QWidget>

class NodeIcons;

namespace help_page {
constexpr char kContents[] = "contents.htm";
constexpr char kSymbols[] = "symbols.htm";
constexpr char kHowToUse[] = "howto.htm";
}  // namespace help_page

// The first existing of <program dir>/vantlow-help and
// <program dir>/../share/quaylo/vantlow-help; the first when neither exists.
QString DefaultHelpDirectory();

class HelpBrowser : public QTextBrowser {
public:
    HelpBrowser(const NodeIcons& icons, QWidget* parent);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    const NodeIcons& icons_;
};

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    HelpWindow(const NodeIcons& icons, const QString& directory, QWidget* parent);

    // Shows a page of the help directory; false when the file cannot be
    // read, and then MissingText() says which file and what to do.
    bool ShowPage(const QString& file);
    QString MissingText(const QString& file) const;
    void SetDirectory(const QString& directory) { directory_ = directory; }
    HelpBrowser* Browser() const { return browser_; }

private:
    QString directory_;
    HelpBrowser* browser_;
};
