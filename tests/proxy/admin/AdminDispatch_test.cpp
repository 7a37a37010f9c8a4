// The dispatch of admin requests: every path of the table, the admin rule,
// the frame of the answer and the language.
#include "proxy/admin/AdminDispatch.h"

#include "foundation/InterNetServer.h"
#include "proxy/language/LanguageTable.h"
#include "tests/proxy/admin/AdminTestSupport.h"

#include <arpa/inet.h>

namespace {

using namespace admintest;

const std::string HTML_HEAD = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n\r\n";
const std::string BODY_START = "<HTML>\n<BODY>\n";
const std::string FOOTER_START = "<HR><CENTER><SMALL><EM>";
const std::string FOOTER_END = "</EM><SMALL></CENTER></BODY></HTML>\r\n";

class AdminDispatchTest : public AdminFixture {
protected:
    void SetUp() override {
        AdminFixture::SetUp();
        fs::create_directories(dir.sub("help_e"));
        write_file(dir.sub("help_e/help.htm"), "<HTML>help index</HTML>");
        admins = {0, loopback_address()};
    }
    AdminAnswer ask(const char* path, const ArgList& arguments, uint32_t client) {
        AdminSite site{options, *cache, admins, Str(dir.sub("harbord").c_str()), nullptr};
        QuietStderr quiet;
        return dispatch_admin_request(site, path, arguments, client);
    }
    // The content between the frame's start and the footer; checks the frame.
    std::string framed(const AdminAnswer& answer) {
        std::string body = text(answer.body);
        EXPECT_EQ(answer.kind, AdminAnswer::PAGE);
        EXPECT_EQ(text(answer.head), HTML_HEAD);
        EXPECT_EQ(body.rfind(BODY_START, 0), 0u) << body;
        size_t footer = body.rfind(FOOTER_START);
        EXPECT_NE(footer, std::string::npos) << body;
        EXPECT_GE(body.size(), FOOTER_END.size());
        EXPECT_EQ(body.substr(body.size() - FOOTER_END.size()), FOOTER_END) << body;
        if (footer == std::string::npos) return body;
        return body.substr(BODY_START.size(), footer - BODY_START.size());
    }
    uint32_t admin() { return loopback_address(); }
    uint32_t stranger() { return inet_addr("10.0.0.2"); }

    std::vector<uint32_t> admins;
};

const std::string REFUSAL =
    "<HR><H2>Unauthorized access:</H2><P>Your IP-address does not have administrative "
    "permissions</P><HR>";

TEST_F(AdminDispatchTest, RootAndEmptyPathShowTheMenu) {
    for (const char* path : {"", "/"}) {
        std::string page = framed(ask(path, list({}), stranger()));
        EXPECT_EQ(page.rfind("<CENTER><H2>Welcome to Corvane's</H2>", 0), 0u) << page;
    }
}

TEST_F(AdminDispatchTest, EveryReadingPageIsOpenToEveryone) {
    add("http://a.example/", "doc");
    struct Case {
        const char* path;
        const char* marker;
    };
    const Case cases[] = {
        {"/options", "<H1>Options</H1>"},
        {"/inventory", "<H1>inventory</H1>"},
        {"/details", "Error: Need ID argument"},
        {"/users", "<H1>Users</H1>"},
        {"/statistics", "<H1>Statistics</H1>"},
        {"/search", "<H1>Text Retrieval</H1>"},
        {"/export", "<H1>Export</H1>"},
        {"/import1", "<H1>Import</H1>"},
    };
    for (const Case& c : cases) {
        std::string page = framed(ask(c.path, list({}), stranger()));
        EXPECT_NE(page.find(c.marker), std::string::npos) << c.path << "\n" << page;
        EXPECT_EQ(page.find("Unauthorized access"), std::string::npos) << c.path;
    }
}

TEST_F(AdminDispatchTest, ChangingPagesAreRefusedToOthers) {
    add("http://a.example/", "doc");
    std::string target = dir.sub("out");
    struct Case {
        const char* path;
        ArgList arguments;
    };
    const Case cases[] = {
        {"/do_export", list({"host", "a.example", "exdir", target.c_str()})},
        {"/do_import", list({"host", "a.example", "importdir", target.c_str()})},
        {"/import2", list({"importdir", target.c_str(), "all", "1"})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(framed(ask(c.path, c.arguments, stranger())), REFUSAL) << c.path;
    }
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(AdminDispatchTest, OptionsFromOthersAreRefusedButTheFormIsShown) {
    std::string page = framed(ask("/options", list({"offline", "1"}), stranger()));
    EXPECT_EQ(page.rfind(REFUSAL + "<FORM method=get", 0), 0u) << page;
    EXPECT_EQ(options.offline.value(), 0);
    EXPECT_NE(page.find("<input name=\"offline\" type=radio value=0 checked>Online"),
              std::string::npos);
}

TEST_F(AdminDispatchTest, AdminSwitchesOfflineAndSeesTheNewMode) {
    std::string page = framed(ask("/options", list({"offline", "1"}), admin()));
    EXPECT_EQ(page.rfind("<HR><H2>Options were changed</H2><P>See below for active settings</P>"
                         "<HR>\n<FORM",
                         0),
              0u)
        << page;
    EXPECT_EQ(options.offline.value(), 1);
    EXPECT_NE(page.find("<input name=\"offline\" type=radio value=1 checked>Offline"),
              std::string::npos);
    ask("/options", list({"offline", "0"}), admin());
    EXPECT_EQ(options.offline.value(), 0);
}

TEST_F(AdminDispatchTest, UnresolvedAdminEntryMatchesNoClient) {
    EXPECT_FALSE(is_admin_client(admins, 0));
    EXPECT_TRUE(is_admin_client(admins, loopback_address()));
    EXPECT_FALSE(is_admin_client(admins, inet_addr("127.0.0.2")));
    EXPECT_FALSE(is_admin_client({}, loopback_address()));
}

TEST_F(AdminDispatchTest, SearchWithArgumentsIsLeftToTheWorker) {
    AdminAnswer answer = ask("/search", list({"phrase", "x"}), stranger());
    EXPECT_EQ(answer.kind, AdminAnswer::SEARCH);
    EXPECT_TRUE(answer.head.empty());
    EXPECT_TRUE(answer.body.empty());
    answer = ask("/search", list({"phrase", "x", "extra"}), stranger());
    EXPECT_EQ(answer.kind, AdminAnswer::SEARCH);
}

TEST_F(AdminDispatchTest, HelpIsSentAsTheFileWithoutFooter) {
    AdminAnswer answer = ask("/help", list({}), stranger());
    EXPECT_EQ(answer.kind, AdminAnswer::PAGE);
    EXPECT_EQ(text(answer.head), HTML_HEAD);
    EXPECT_EQ(text(answer.body), "<HTML>help index</HTML>");
    answer = ask("/help", list({"../harbord.cfg"}), stranger());
    EXPECT_NE(text(answer.body).find("<H3>Error: unable to open file '"), std::string::npos);
}

TEST_F(AdminDispatchTest, PlainInventoryIsPlainText) {
    add("http://a.example/", "doc");
    AdminAnswer answer = ask("/inventory.txt", list({}), stranger());
    EXPECT_EQ(text(answer.head), "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n\r\n");
    EXPECT_EQ(text(answer.body), "http://a.example/\n");
}

TEST_F(AdminDispatchTest, UnknownAndWronglyCasedPathsGetTheInvalidPathPage) {
    for (const char* path : {"/foo", "/Options", "/options/", "/inventory.TXT", "//", "/help/x"}) {
        std::string page = framed(ask(path, list({"offline", "1"}), admin()));
        EXPECT_EQ(page.rfind(std::string("<HR><H2>Invalid path specified: '") + path + "'</H2>", 0),
                  0u)
            << page;
    }
    EXPECT_EQ(options.offline.value(), 0);
}

TEST_F(AdminDispatchTest, GarbageArgumentsNeverBreakAPage) {
    add("http://a.example/", "doc");
    std::string huge(100000, '%');
    std::string binary("a\0b\xff\n<\"", 7);
    const char* paths[] = {"/",          "/options",   "/inventory.txt", "/inventory", "/details",
                           "/users",     "/statistics", "/help",         "/export",    "/do_export",
                           "/do_import", "/import1",   "/import2"};
    for (const char* path : paths) {
        for (auto arguments : {list({huge.c_str()}), list({binary.c_str(), huge.c_str(), "x"})}) {
            AdminAnswer answer = ask(path, arguments, admin());
            EXPECT_EQ(answer.kind, AdminAnswer::PAGE) << path;
            EXPECT_EQ(text(answer.head).rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << path;
            EXPECT_EQ(text(answer.body).find("<script"), std::string::npos);
        }
    }
    EXPECT_EQ(cache->urls().size(), 1u);
    EXPECT_FALSE(fail_pending());
}

TEST_F(AdminDispatchTest, DutchPagesComeFromTheDutchSlot) {
    ASSERT_EQ(options.set.set("language", "dutch"), 0);
    std::string menu = framed(ask("/", list({}), stranger()));
    EXPECT_NE(menu.find(message(MSG_WELCOME, 2)), std::string::npos);
    EXPECT_NE(text(ask("/", list({}), stranger()).body).find(message(MSG_FOOTER_NOTICE, 2)),
              std::string::npos);
    EXPECT_NE(framed(ask("/statistics", list({}), stranger())).find(message(MSG_CACHED_FILES, 2)),
              std::string::npos);
    EXPECT_NE(framed(ask("/inventory", list({}), stranger())).find(message(MSG_NO_ENTRIES, 2)),
              std::string::npos);
    EXPECT_NE(framed(ask("/foo", list({}), stranger())).find(message(MSG_INVALID_PATH, 2)),
              std::string::npos);
    EXPECT_NE(framed(ask("/options", list({"offline", "1"}), stranger())).find(message(MSG_NOT_ADMIN, 2)),
              std::string::npos);
    EXPECT_NE(framed(ask("/import1", list({}), stranger())).find(message(MSG_IMPORT_DIRECTORY_INTRO, 2)),
              std::string::npos);
    // The help folder of the language: a missing Dutch file names help_nl.
    EXPECT_NE(text(ask("/help", list({"mode.htm"}), stranger()).body).find("/help_nl/mode.htm"),
              std::string::npos);
}

} // namespace
