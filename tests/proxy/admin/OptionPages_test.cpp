// The menu page, the options form, applying options from the form, the
// refusal and the invalid-path page.
#include "proxy/admin/OptionPages.h"

#include "proxy/language/LanguageTable.h"
#include "tests/proxy/admin/AdminTestSupport.h"

#include <regex>

namespace {

using namespace admintest;

class OptionPagesTest : public ::testing::Test {
protected:
    std::string form(uint32_t language = 0) {
        AdminPage page(language);
        options_form(page, options);
        return text(page.content());
    }
    RelaisOptions options;
};

TEST_F(OptionPagesTest, MenuLinksEveryPageOfTheAdminHost) {
    AdminPage page(0);
    menu_page(page);
    std::string menu = text(page.content());
    EXPECT_EQ(menu.rfind("<CENTER><H2>Welcome to Corvane's</H2>\n<H1>Quaylo</H1>Release ", 0), 0u)
        << menu;
    EXPECT_NE(menu.find("\n<HR></CENTER>\n"), std::string::npos);
    const char* items[] = {
        "<H3>Browse through the <A HREF=\"http://quaylo/help?help.htm\">help documents</A></H3>\n",
        "<H3>Examine or change the <A HREF=\"http://quaylo/options\">Options</A></H3>\n",
        "<H3>Explore the current cache <A HREF=\"http://quaylo/inventory\">inventory</A></H3>\n",
        "<H3>View the usage <A HREF=\"http://quaylo/statistics\">Statistics</A></H3>\n",
        "<H3><A HREF=\"http://quaylo/export\">Export</A> cached documents</H3>\n",
        "<H3><A HREF=\"http://quaylo/import1\">Import</A> from a directory</H3>\n",
        "<H3>Try a <A HREF=\"http://quaylo/search\">Text Retrieval</A></H3>\n",
    };
    size_t previous = 0;
    for (const char* item : items) {
        size_t at = menu.find(item);
        ASSERT_NE(at, std::string::npos) << item << "\n" << menu;
        EXPECT_GT(at, previous) << "menu items out of order at " << item;
        previous = at;
    }
    EXPECT_NE(menu.find("<H3>Contact Corvane for <A HREF=\"http"), std::string::npos);
    EXPECT_NE(menu.find("\">news or feed-back</A></H3>\n"), std::string::npos);
}

TEST_F(OptionPagesTest, FormHasEveryRowWithItsHelpLinkInOrder) {
    std::string page = form();
    EXPECT_EQ(page.rfind("<FORM method=get action=\"http://quaylo/options\">"
                         "<CENTER><H1>Quaylo</H1><H1>Options</H1><HR></CENTER>\n<SMALL>\n",
                         0),
              0u)
        << page;
    const char* rows[][2] = {
        {"mode.htm", "Mode:"},
        {"language.htm", "Language:"},
        {"maxcon.htm", "Max. concurrent connections:"},
        {"remprox.htm", "Remote proxy used:"},
        {"remport.htm", "Remote proxy port:"},
        {"sockshst.htm", "SOCKS server:"},
        {"socksprt.htm", "SOCKS port:"},
        {"socksusr.htm", "SOCKS user-name:"},
        {"timeout.htm", "Network timeout:"},
        {"updtime.htm", "Document update time:"},
        {"cachesiz.htm", "Maximum size of cache:"},
        {"entrysiz.htm", "Size limit for cached files:"},
        {"cachefil.htm", "Maximum files in cache:"},
    };
    size_t previous = page.find("<TABLE>\n");
    ASSERT_NE(previous, std::string::npos);
    for (auto& row : rows) {
        std::string label = std::string("<TR><TD><A HREF=\"http://quaylo/help?") + row[0] +
                            "\">" + row[1] + "</A><TD>";
        size_t at = page.find(label);
        ASSERT_NE(at, std::string::npos) << label;
        EXPECT_GT(at, previous) << label;
        previous = at;
    }
    EXPECT_EQ(count_of(page, "<TR>"), 13u);
    EXPECT_NE(page.find("</TABLE>\n<HR><P>Notice: If you want"), std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 8), "</FORM>\n");
}

TEST_F(OptionPagesTest, InputsShowTheCurrentValues) {
    ASSERT_EQ(options.set.set("offline", "1"), 0);
    ASSERT_EQ(options.set.set("language", "deutsch"), 0);
    ASSERT_EQ(options.set.set("maxcon", "7"), 0);
    ASSERT_EQ(options.set.set("proxyhost", "gate.example"), 0);
    ASSERT_EQ(options.set.set("timeout", "90"), 0);
    std::string page = form();
    EXPECT_NE(page.find("<input name=\"offline\" type=radio value=1 checked>Offline"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("<input name=\"offline\" type=radio value=0>Online"), std::string::npos);
    EXPECT_NE(page.find("value=\"english\">English"), std::string::npos);
    EXPECT_NE(page.find("value=\"deutsch\" checked>Deutsch"), std::string::npos);
    EXPECT_NE(page.find("value=\"dutch\">Dutch"), std::string::npos);
    EXPECT_NE(page.find("<input name=\"maxcon\" type=range min=1 max=100 value=7>"),
              std::string::npos);
    EXPECT_NE(page.find("<input name=\"proxyhost\" type=text size=32 value=\"gate.example\">"),
              std::string::npos);
    EXPECT_NE(page.find("<input name=\"proxyport\" type=range min=1 max=65535 value=8080>"),
              std::string::npos);
    EXPECT_NE(page.find("<input name=\"socksport\" type=range min=1 max=65535 value=1080>"),
              std::string::npos);
    EXPECT_NE(page.find("<input name=\"timeout\" type=range min=1 max=65535 value=90> seconds"),
              std::string::npos);
    EXPECT_NE(page.find("<input name=\"updtime\" type=range min=0 max=360000 value=36000>"),
              std::string::npos);
    EXPECT_NE(page.find("<input name=\"cachesize\" type=range min=8 max=2000000 value=4096>kB"),
              std::string::npos);
    EXPECT_NE(page.find("<input name=\"entrysize\" type=range min=2 max=2000000 value=500>"),
              std::string::npos);
    EXPECT_NE(page.find("<input name=\"cachefiles\" type=range min=2 max=2000000 value=10000>"),
              std::string::npos);
    EXPECT_EQ(count_of(page, " checked>"), 2u);
}

TEST_F(OptionPagesTest, ButtonsAreCompleteTags) {
    std::string page = form();
    EXPECT_NE(page.find("<P><INPUT TYPE=SUBMIT VALUE=\"Change Options\"> <INPUT TYPE=RESET "
                        "value=\"Reset form to current options\"></P><TABLE>\n"),
              std::string::npos)
        << page;
}

TEST_F(OptionPagesTest, TextValuesAreEscaped) {
    ASSERT_EQ(options.set.set("socksuser", "\"><script>x</script>"), 0);
    std::string page = form();
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_NE(page.find("value=\"&quot;&gt;&lt;script&gt;x&lt;/script&gt;\">"),
              std::string::npos);
}

TEST_F(OptionPagesTest, FormFollowsTheLanguage) {
    std::string page = form(RelaisOptions::DUTCH);
    EXPECT_NE(page.find(std::string("<H1>") + message(MSG_OPTIONS, 2) + "</H1>"),
              std::string::npos);
    EXPECT_NE(page.find(std::string("\">") + message(MSG_SOCKSUSER, 2) + "</A>"),
              std::string::npos);
    EXPECT_EQ(page.find("Options"), std::string::npos);
}

TEST_F(OptionPagesTest, ApplyingBareNamesChangesOptionsAndConfirms) {
    AdminPage page(0);
    EXPECT_EQ(apply_options(page, options,
                            list({"offline", "1", "maxcon", "5", "proxyhost", "", "language",
                                  "dutch"})),
              0);
    EXPECT_EQ(options.offline.value(), 1);
    EXPECT_EQ(options.maxcon.value(), 5);
    EXPECT_EQ(options.language.index(), 2u);
    EXPECT_EQ(text(page.content()),
              "<HR><H2>Options were changed</H2><P>See below for active settings</P><HR>\n");
}

TEST_F(OptionPagesTest, ApplyingDoesNotConsumeTheCallersArguments) {
    AdminPage page(0);
    ArgList arguments = list({"updtime", "0"});
    apply_options(page, options, arguments);
    EXPECT_EQ(arguments.count(), 2u);
    EXPECT_EQ(options.updtime.value(), 0);
}

TEST_F(OptionPagesTest, RejectedValueShowsTheEscapedFailureAndKeepsTheOption) {
    AdminPage page(0);
    EXPECT_EQ(apply_options(page, options, list({"maxcon", "<9999>"})), -1);
    std::string content = text(page.content());
    EXPECT_EQ(content.rfind("<HR><H2>Invalid parameters specified:</H2>\n<P>", 0), 0u) << content;
    EXPECT_NE(content.find("cannot set option 'maxcon'"), std::string::npos) << content;
    EXPECT_EQ(content.find("<9999>"), std::string::npos);
    EXPECT_EQ(content.substr(content.size() - 9), "</P><HR>\n");
    EXPECT_EQ(options.maxcon.value(), 16);
    EXPECT_FALSE(fail_pending());
}

TEST_F(OptionPagesTest, NamesWithTheCommandLineDashAreUnknownHere) {
    AdminPage page(0);
    EXPECT_EQ(apply_options(page, options, list({"-offline", "1"})), -1);
    EXPECT_NE(text(page.content()).find("unknown option '-offline'"), std::string::npos);
    EXPECT_EQ(options.offline.value(), 0);
}

TEST_F(OptionPagesTest, NameWithoutValueIsReported) {
    AdminPage page(0);
    EXPECT_EQ(apply_options(page, options, list({"offline"})), -1);
    EXPECT_NE(text(page.content()).find("missing parameter for option 'offline'"),
              std::string::npos);
}

TEST_F(OptionPagesTest, AppliedChangesAreSavedToTheSetupFileAtOnce) {
    TempDir dir;
    std::string setup = dir.sub("harbord.cfg");
    ASSERT_EQ(options.set.save(setup.c_str()), 0);
    AdminPage page(0);
    ASSERT_EQ(apply_options(page, options, list({"updtime", "1234"})), 0);

    RelaisOptions reread;
    {
        QuietStderr quiet;
        ASSERT_EQ(reread.set.load(setup.c_str()), 0);
    }
    EXPECT_EQ(reread.updtime.value(), 1234);
    reread.set.set_modified(false);
}

TEST_F(OptionPagesTest, RefusalAndInvalidPathTexts) {
    AdminPage refused(0);
    refusal(refused);
    EXPECT_EQ(text(refused.content()),
              "<HR><H2>Unauthorized access:</H2><P>Your IP-address does not have "
              "administrative permissions</P><HR>");

    AdminPage invalid(0);
    invalid_path_page(invalid, "/foo<b>");
    EXPECT_EQ(text(invalid.content()),
              "<HR><H2>Invalid path specified: '/foo&lt;b&gt;'</H2><P>Request "
              "<A HREF=\"http://quaylo/\">http://quaylo/</A>for a menu of things you can do "
              "with this server.</P><HR>\n");
}

} // namespace
