// The admin request handler: the invalid-path page, the admin check and the
// switch of options through "/options".
#include "proxy/admin/AdminRequest.h"

#include "foundation/Fail.h"
#include "foundation/InterNetServer.h"
#include "proxy/cache/Cache.h"
#include "proxy/options/RelaisOptions.h"
#include "tests/proxy/server/ServerTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

using namespace server_test;

std::string text(const Str& s) {
    return std::string(s.data(), s.length());
}

ArgList list(std::initializer_list<const char*> items) {
    ArgList out;
    for (const char* item : items) out.append(item);
    return out;
}

const std::string HEAD = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n\r\n";
const std::string BODY_START = "<HTML>\n<BODY>\n";
const std::string FOOTER_START = "<HR><CENTER><SMALL><EM>";
const std::string FOOTER_END = "</EM><SMALL></CENTER></BODY></HTML>\r\n";

class AdminRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(options.set.set("cachedir", (dir.path / "cache").c_str()), 0) << fail_take();
        CaptureStderr quiet;
        cache = std::make_unique<Cache>(options.cachedir, options.cachesize, options.entrysize,
                                        options.cachefiles, options.language, options.debug,
                                        options.exportdir, options.importdir, true);
        ASSERT_FALSE(cache->failed());
        admins = {0, loopback_address()}; // an unresolved word stays 0
        handler = std::make_unique<AdminRequest>(
            AdminSite{options, *cache, admins, Str((dir.path / "harbord").c_str()), nullptr});
    }
    void TearDown() override {
        CaptureStderr quiet;
        cache.reset();
        fail_take();
    }

    // The body between the common start and the footer; fails the test when
    // the frame is not there.
    std::string page_content(const AdminAnswer& answer) {
        std::string body = text(answer.body);
        EXPECT_EQ(answer.kind, AdminAnswer::PAGE);
        EXPECT_EQ(text(answer.head), HEAD);
        EXPECT_EQ(body.rfind(BODY_START, 0), 0u) << body;
        size_t footer = body.rfind(FOOTER_START);
        EXPECT_NE(footer, std::string::npos) << body;
        EXPECT_GE(body.size(), FOOTER_END.size());
        EXPECT_EQ(body.substr(body.size() - FOOTER_END.size()), FOOTER_END) << body;
        if (footer == std::string::npos) return body;
        return body.substr(BODY_START.size(), footer - BODY_START.size());
    }

    TempDir dir;
    RelaisOptions options;
    std::unique_ptr<Cache> cache;
    std::vector<uint32_t> admins;
    std::unique_ptr<AdminRequest> handler;
};

TEST_F(AdminRequestTest, UnknownPathGetsTheInvalidPathPageQuotingThePath) {
    AdminAnswer answer = handler->answer("/foo", list({}), loopback_address());
    EXPECT_EQ(page_content(answer),
              "<HR><H2>Invalid path specified: '/foo'</H2><P>Request "
              "<A HREF=\"http://quaylo/\">http://quaylo/</A>"
              "for a menu of things you can do with this server.</P><HR>\n");
}

TEST_F(AdminRequestTest, ThePathIsEscapedInThePage) {
    AdminAnswer answer =
        handler->answer("/a<script>\"&x", list({"k", "v"}), loopback_address());
    std::string content = page_content(answer);
    EXPECT_NE(content.find("'/a&lt;script&gt;&quot;&amp;x'"), std::string::npos) << content;
    EXPECT_EQ(content.find("<script>"), std::string::npos);
}

TEST_F(AdminRequestTest, DispatchIsCaseSensitive) {
    AdminAnswer answer = handler->answer("/Options", list({"offline", "1"}), loopback_address());
    EXPECT_NE(page_content(answer).find("Invalid path specified: '/Options'"), std::string::npos);
    EXPECT_EQ(options.offline.value(), 0);
}

TEST_F(AdminRequestTest, AdminSwitchesOfflineOnAndOff) {
    const std::string changed =
        "<HR><H2>Options were changed</H2><P>See below for active settings</P><HR>\n";
    AdminAnswer on = handler->answer("/options", list({"offline", "1"}), loopback_address());
    EXPECT_EQ(page_content(on).rfind(changed, 0), 0u) << text(on.body);
    EXPECT_EQ(options.offline.value(), 1);
    EXPECT_TRUE(options.set.modified());

    AdminAnswer off = handler->answer("/options", list({"offline", "0"}), loopback_address());
    EXPECT_EQ(page_content(off).rfind(changed, 0), 0u);
    EXPECT_EQ(options.offline.value(), 0);
}

TEST_F(AdminRequestTest, NonAdminIsRefusedAndNothingChanges) {
    uint32_t stranger = htonl(0x0A000002);
    AdminAnswer answer = handler->answer("/options", list({"offline", "1"}), stranger);
    EXPECT_EQ(page_content(answer).rfind("<HR><H2>Unauthorized access:</H2><P>Your IP-address "
                                         "does not have administrative permissions</P><HR>",
                                         0),
              0u)
        << text(answer.body);
    EXPECT_EQ(options.offline.value(), 0);
}

TEST_F(AdminRequestTest, AnUnresolvedAdminEntryMatchesNoClient) {
    EXPECT_FALSE(handler->is_admin(0));
    EXPECT_TRUE(handler->is_admin(loopback_address()));
    EXPECT_FALSE(handler->is_admin(htonl(0x7F000002)));
}

TEST_F(AdminRequestTest, RejectedValueShowsTheEscapedFailureAndKeepsTheOption) {
    AdminAnswer answer =
        handler->answer("/options", list({"offline", "<maybe>"}), loopback_address());
    std::string content = page_content(answer);
    const std::string start = "<HR><H2>Invalid parameters specified:</H2>\n<P>";
    EXPECT_EQ(content.rfind(start, 0), 0u) << content;
    EXPECT_NE(content.find("'&lt;maybe&gt;' is invalid for boolean option"), std::string::npos)
        << content;
    EXPECT_NE(content.find("</P><HR>\n"), std::string::npos);
    EXPECT_EQ(options.offline.value(), 0);
    EXPECT_FALSE(fail_pending());
}

TEST_F(AdminRequestTest, UnknownOptionNameIsReportedInThePage) {
    AdminAnswer answer =
        handler->answer("/options", list({"nosuch", "1"}), loopback_address());
    std::string content = page_content(answer);
    EXPECT_NE(content.find("unknown option 'nosuch'"), std::string::npos) << content;
}

TEST_F(AdminRequestTest, PagesFollowTheLanguageOption) {
    ASSERT_EQ(options.set.set("language", "dutch"), 0);
    AdminAnswer answer = handler->answer("/foo", list({}), loopback_address());
    std::string content = page_content(answer);
    EXPECT_EQ(content.rfind("<HR><H2>Ongeldig pad opgegeven: '/foo'</H2><P>Vraag ", 0), 0u)
        << content;

    ASSERT_EQ(options.set.set("language", "deutsch"), 0);
    answer = handler->answer("/options", list({"offline", "1"}), loopback_address());
    EXPECT_NE(text(answer.body).find("Die Optionen wurden geaendert"), std::string::npos);
}

TEST_F(AdminRequestTest, SearchWithArgumentsIsLeftToTheWorker) {
    AdminAnswer answer = handler->answer("/search", list({"phrase", "x"}), htonl(0x0A000003));
    EXPECT_EQ(answer.kind, AdminAnswer::SEARCH);
    EXPECT_EQ(text(answer.head), "");
    EXPECT_EQ(text(answer.body), "");
}

TEST(AdminUrl, JoinsTheAdminHostAndPath) {
    EXPECT_EQ(text(admin_url("/options?offline=1")), "http://quaylo/options?offline=1");
}

} // namespace
