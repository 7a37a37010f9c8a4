// The configuration file and the browser command it holds: the dialog that
// edits it and the launch without a shell.
#include "GuiTestSupport.h"

#include "viewer/gui/BrowserDialog.h"
#include "viewer/gui/BrowserLaunch.h"

#include <QLineEdit>
#include <QPushButton>

TEST(IniFile, GroupsAndKeysAreWrittenAsNamedAndChangedInPlace) {
    TempDir dir("viewer-gui");
    IniFile config(dir.file("sub/vantlow.ini"));
    const char* writes[][3] = {{"General", "Browser", "firefox --new-window"}, {"ParsedURLs", "Count", "1"},
                               {"Dial", "Mode", "0"}, {"General", "Browser", "evil\n[General]\nBrowser=other"}};
    for (auto& [group, key, value] : writes) EXPECT_TRUE(config.Write(group, key, value));
    // A value stays on its line.
    EXPECT_EQ(read_file(dir.file("sub/vantlow.ini")),
              "[General]\nBrowser=evil[General]Browser=other\n[ParsedURLs]\nCount=1\n[Dial]\nMode=0\n");

    std::string path = dir.file("vantlow.ini");
    write_file(path, "; my settings\r\n[General]\r\nBrowser = old\r\n\r\n[ParsedURLs]\r\nCount=0\r\n");
    IniFile edited(path);
    EXPECT_EQ(edited.Read("General", "Browser"), " old");
    EXPECT_EQ(edited.Read("General", "Missing", "fallback"), "fallback");
    EXPECT_EQ(edited.Read("Other", "Browser"), "");
    edited.Write("General", "Browser", "new");
    edited.Write("General", "Extra", "x=y");
    EXPECT_EQ(read_file(path), "; my settings\n[General]\nBrowser=new\nExtra=x=y\n\n[ParsedURLs]\nCount=0\n");
    EXPECT_EQ(IniFile(path).Read("General", "Extra"), "x=y");

    write_file(dir.file("file"), "x");  // no folder can be made there
    EXPECT_FALSE(IniFile(dir.file("file/vantlow.ini")).Write("General", "Browser", "x"));
}

TEST(BrowserDialog, OkStoresTheCommandCancelDoesNotAndAPickedProgramIsStoredQuoted) {
    TempDir dir("viewer-gui");
    IniFile config(dir.file("vantlow.ini"));
    config.Write("General", "Browser", "firefox");
    BrowserDialog cancelled(config);
    EXPECT_EQ(cancelled.CommandField()->text(), "firefox");
    cancelled.CommandField()->setText("typed but cancelled");
    cancelled.reject();
    EXPECT_EQ(config.Read("General", "Browser"), "firefox");

    BrowserDialog picking(config);
    QString startedAt;
    picking.pickProgram = [&](QWidget*, const QString& start) { startedAt = start; return QString("/opt/my browser/run"); };
    picking.SearchButton()->click();
    EXPECT_EQ(startedAt, "firefox");
    EXPECT_EQ(IniFile(dir.file("vantlow.ini")).Read("General", "Browser"), "\"/opt/my browser/run\"");
    picking.CommandField()->setText("chromium --incognito ");
    picking.accept();
    EXPECT_EQ(IniFile(dir.file("vantlow.ini")).Read("General", "Browser"), "chromium --incognito");
}

using Words = std::vector<std::string>;

TEST(BrowserLaunch, TheCommandSplitsAtBlanksWithDoubleQuotesGrouping) {
    const std::pair<const char*, Words> cases[] = {
        {"firefox", {"firefox"}}, {"  chromium  --incognito\t--x ", {"chromium", "--incognito", "--x"}},
        {"\"/opt/my browser/run\" -a", {"/opt/my browser/run", "-a"}}, {"--opt=\"a b\"c", {"--opt=a bc"}},
        {"x \"\" y", {"x", "", "y"}}, {"\"unclosed quote here", {"unclosed quote here"}}, {"", {}}, {"   ", {}},
    };
    for (const auto& [command, words] : cases) EXPECT_EQ(SplitCommandWords(command), words) << command;
}

TEST(BrowserLaunch, AProgramThatCannotStartFails) {
    TempDir dir("viewer-gui");
    write_file(dir.file("not-executable"), "#!/bin/sh\n");
    for (std::string command : {std::string(), std::string("\"\" x"), dir.file("missing"), dir.file("not-executable")})
        EXPECT_FALSE(LaunchBrowserCommand(command, "http://x.test/")) << command;
}
