// The help page: files of the current language's help folder, sent as they
// are; names that could leave the folder are refused.
#include "proxy/admin/HelpPage.h"

#include "tests/proxy/admin/AdminTestSupport.h"

namespace {

using namespace admintest;

const char* const HELP_FILES[] = {"help.htm",     "mode.htm",     "language.htm", "maxcon.htm",
                                  "remprox.htm",  "remport.htm",  "sockshst.htm", "socksprt.htm",
                                  "socksusr.htm", "timeout.htm",  "updtime.htm",  "cachesiz.htm",
                                  "entrysiz.htm", "cachefil.htm"};
const char* const HELP_FOLDERS[] = {"help_e", "help_d", "help_nl"};

class HelpPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : HELP_FOLDERS) fs::create_directories(dir.sub(folder));
        write_file(dir.sub("help_e/mode.htm"), "<HTML>english mode</HTML>\n");
        write_file(dir.sub("help_nl/mode.htm"), "<HTML>dutch mode</HTML>\n");
        write_file(dir.sub("help_e/help.htm"), "index");
        write_file(dir.sub("secret.txt"), "do not show");
    }
    std::string help(const ArgList& arguments, uint32_t language = 0) {
        AdminPage page(language);
        help_page(page, dir.path.c_str(), arguments);
        EXPECT_EQ(page.form(), AdminPage::RAW);
        return text(page.content());
    }
    TempDir dir;
};

TEST_F(HelpPageTest, FileOfTheCurrentLanguageIsTheWholeBody) {
    EXPECT_EQ(help(list({"mode.htm"})), "<HTML>english mode</HTML>\n");
    EXPECT_EQ(help(list({"mode.htm"}), 2), "<HTML>dutch mode</HTML>\n");
}

TEST_F(HelpPageTest, WithoutArgumentsTheIndexIsShown) {
    EXPECT_EQ(help(list({})), "index");
}

TEST_F(HelpPageTest, MissingFileGivesTheErrorLine) {
    std::string page = help(list({"mode.htm"}), 1);
    EXPECT_NE(page.find("<H3>Error: unable to open file '" + dir.path + "/help_d/mode.htm'</H3>"),
              std::string::npos)
        << page;
    EXPECT_EQ(page.find("<HR><CENTER><SMALL><EM>"), std::string::npos);
    EXPECT_FALSE(fail_pending());
}

TEST_F(HelpPageTest, NamesLeavingTheHelpFolderAreRefused) {
    for (const char* name : {"../secret.txt", "..", "/etc/passwd", "sub/mode.htm", "", "."}) {
        std::string page = help(list({name}));
        EXPECT_NE(page.find("<H3>Error: unable to open file '"), std::string::npos) << name;
        EXPECT_EQ(page.find("do not show"), std::string::npos) << name;
    }
    EXPECT_FALSE(plain_file_name(Str("mode.htm\0/x", 11)));
    EXPECT_TRUE(plain_file_name("mode.htm"));
    EXPECT_TRUE(plain_file_name(".profile"));
}

TEST_F(HelpPageTest, ErrorLineEscapesTheName) {
    std::string page = help(list({"<img src=x>"}));
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("&lt;img src=x&gt;"), std::string::npos);
}

TEST_F(HelpPageTest, HelpPathJoinsProgramFolderLanguageFolderAndName) {
    EXPECT_EQ(text(help_file_path("/opt/q", 2, "x.htm")), "/opt/q/help_nl/x.htm");
    EXPECT_EQ(text(help_file_path("/opt/q", 7, "x.htm")), "/opt/q/help_e/x.htm");
}

// The shipped help set: every file in every language, a complete HTML page
// that names its subject and links back to the overview.
TEST(ShippedHelpFiles, EveryOptionHasItsHelpInEveryLanguage) {
    for (const char* folder : HELP_FOLDERS) {
        for (const char* name : HELP_FILES) {
            std::string path = std::string(HELP_SOURCE_DIR) + "/" + folder + "/" + name;
            std::string page = read_file(path);
            ASSERT_FALSE(page.empty()) << path;
            EXPECT_EQ(page.rfind("<HTML>", 0), 0u) << path;
            EXPECT_NE(page.find("</BODY></HTML>"), std::string::npos) << path;
            EXPECT_NE(page.find("<TITLE>Quaylo - "), std::string::npos) << path;
            if (std::string(name) != "help.htm") {
                EXPECT_NE(page.find("http://quaylo/help?help.htm"), std::string::npos) << path;
            }
            for (char c : page) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << path;
        }
    }
}

TEST(ShippedHelpFiles, OverviewLinksEveryOptionPage) {
    for (const char* folder : HELP_FOLDERS) {
        std::string index = read_file(std::string(HELP_SOURCE_DIR) + "/" + folder + "/help.htm");
        for (const char* name : HELP_FILES) {
            if (std::string(name) == "help.htm") continue;
            EXPECT_NE(index.find(std::string("http://quaylo/help?") + name), std::string::npos)
                << folder << " " << name;
        }
    }
}

TEST(ShippedHelpFiles, OptionPagesStateTheValidRange) {
    struct Range {
        const char* file;
        const char* english;
    };
    const Range ranges[] = {{"maxcon.htm", "1 to 100"},      {"timeout.htm", "1 to 3600"},
                            {"updtime.htm", "0 to 360000"},  {"cachesiz.htm", "8 to 2000000"},
                            {"entrysiz.htm", "2 to 2000000"}, {"cachefil.htm", "2 to 2000000"},
                            {"remport.htm", "1 to 65535"},   {"socksprt.htm", "1 to 65535"}};
    for (const Range& range : ranges) {
        std::string page = read_file(std::string(HELP_SOURCE_DIR) + "/help_e/" + range.file);
        EXPECT_NE(page.find(range.english), std::string::npos) << range.file;
    }
}

} // namespace
