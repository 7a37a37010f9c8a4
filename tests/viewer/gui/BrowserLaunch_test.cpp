#include "GuiTestSupport.h"

#include "viewer/gui/BrowserLaunch.h"

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
