#include "GuiTestSupport.h"

#include "viewer/gui/BrowserLaunch.h"

#include <gtest/gtest.h>

using Words = std::vector<std::string>;

TEST(BrowserLaunchTest, SplitsAtBlanksAndGroupsDoubleQuotes) {
    EXPECT_EQ(SplitCommandWords("firefox"), Words{"firefox"});
    EXPECT_EQ(SplitCommandWords("  chromium  --incognito\t--x "), (Words{"chromium", "--incognito", "--x"}));
    EXPECT_EQ(SplitCommandWords("\"/opt/my browser/run\" -a"), (Words{"/opt/my browser/run", "-a"}));
    EXPECT_EQ(SplitCommandWords("--opt=\"a b\"c"), Words{"--opt=a bc"});
    EXPECT_EQ(SplitCommandWords("x \"\" y"), (Words{"x", "", "y"}));
    EXPECT_EQ(SplitCommandWords("\"unclosed quote here"), Words{"unclosed quote here"});
    EXPECT_TRUE(SplitCommandWords("").empty());
    EXPECT_TRUE(SplitCommandWords("   ").empty());
}

TEST(BrowserLaunchTest, StartsTheProgramWithTheUrlAsTheLastArgument) {
    TempDir dir;
    std::string record = dir.File("args.txt");
    std::string script = dir.File("browser");
    WriteScript(script, "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record + "'; done\necho END >> '" +
                            record + "'\n");
    std::string url = "http://x.test/?q='a b'&c=\"d\";e";
    ASSERT_TRUE(LaunchBrowserCommand(script + " -P \"my profile\"", url));
    EXPECT_EQ(WaitForFile(record), "-P\nmy profile\n" + url + "\nEND\n");
}

TEST(BrowserLaunchTest, AnEmptyOrMissingCommandFails) {
    TempDir dir;
    EXPECT_FALSE(LaunchBrowserCommand("", "http://x.test/"));
    EXPECT_FALSE(LaunchBrowserCommand("\"\" x", "http://x.test/"));
    EXPECT_FALSE(LaunchBrowserCommand(dir.File("missing"), "http://x.test/"));
    WriteWholeFile(dir.File("not-executable"), "#!/bin/sh\n");
    EXPECT_FALSE(LaunchBrowserCommand(dir.File("not-executable"), "http://x.test/"));
}
