// The pages the proxy writes itself: the offline page and, for origins that
// fail or are the proxy's own ports, the error page with the detailed report;
// in each language, with the URL they quote escaped.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace e2e;

namespace {

const std::string NO_CONNECTION = "UrlGet::contact_server connection to server failed, reason:\r\n "
                                  "InterNetClient: unable to connect to '127.0.0.1'. Reason "
                                  "code:111\r\n";

struct Texts {
    const char* language;
    std::string title, intro, not_cached, you_can, go_online, then_retry, not_received, details;
};

std::string offline_page(const std::string& uri, const Texts& t) {
    return "<HTML>\n<TITLE>" + t.title + "</TITLE>\n<BODY><H2>" + t.title + ":</H2>\n<P>" +
           t.intro + "<A HREF=\"" + uri + "\">" + uri + "</A>" + t.not_cached + "</P><P>" +
           t.you_can + "<A HREF=\"http://quaylo/options?offline=0\">" + t.go_online + "</A>,\n" +
           t.then_retry + "</P></BODY></HTML>";
}

std::string error_page(const std::string& uri, const Texts& t, const std::string& report) {
    return "<HTML>\n<TITLE>" + t.title + "</TITLE>\n<BODY><H2>" + t.title + ":</H2>\n<P>" +
           t.intro + "<A HREF=\"" + uri + "\">" + uri + "</A>\n" + t.not_received +
           "</P>\n<HR><H2>" + t.details + ":</H2>\n<PRE>" + report + "</PRE>\n</BODY></HTML>";
}

const Texts LANGUAGES[] = {
    {"english", "Error from Quaylo", "The URL",
     " you requested is not cached, and since this server\nis currently switched to offline-mode, "
     "no attempt\ncan be made to get this URL from the remote server.",
     "You can ", "activate the online-mode", " then try to load the URL again.",
     "you requested could not be received from the remote server.", "Detailed error message"},
    {"deutsch", "Fehlermeldung vom Quaylo", "Die URL ",
     ", die Sie bestellten, befindet sich nicht im Cache,\nkann aber auch nicht geholt "
     "werden, da der\nOffline-Modus aktiviert ist.",
     "Sie koennen den ", "Online-Modus aktivieren",
     " versuchen Sie dann nochmal, die Seite zu laden.", "konnte nicht empfangen werden.",
     "Detaillierte Fehlerbeschreibung"},
    {"dutch", "Foutmelding van Quaylo", "De URL ",
     "die u opvroeg is niet in de cache aanwezig en\nkan niet opgehaald worden omdat de "
     "proxy in\noffline-stand staat.",
     "U kunt naar ", "online overschakelen", " en dan nogmaals proberen de site te laden.",
     "die u opvroeg kon niet ontvangen worden van de externe server.",
     "Gedetailleerde foutmelding"},
};

void expect_page(const HttpResult& page, const std::string& body, int status = 501) {
    EXPECT_EQ(page.status, status);
    EXPECT_EQ(page.header("Content-Type"), "text/html");
    EXPECT_EQ(page.header("Content-Length"), std::to_string(page.body.size()));
    EXPECT_EQ(page.body, body);
}

TEST(E2ePages, OfflineAndErrorPagesFollowTheLanguageAndEscapeTheUrl) {
    OriginServer origin;
    std::string refused = "http://127.0.0.1:" + std::to_string(free_port());
    for (const Texts& t : LANGUAGES) {
        SCOPED_TRACE(t.language);
        Harbord proxy({"-offline", "1", "-language", t.language});
        ASSERT_TRUE(proxy.running()) << proxy.log();
        expect_page(proxy.get(origin.url("/a&y")), offline_page(origin.url("/a&amp;y"), t));
        EXPECT_EQ(origin.request_count(), 0u);
        // The page's link switches the proxy online.
        ASSERT_TRUE(proxy.set_offline(false));
        expect_page(proxy.get(refused + "/&i"), error_page(refused + "/&amp;i", t, NO_CONNECTION));
    }
}

TEST(E2ePages, FailingOriginsAndTheProxysOwnPortsGiveTheErrorPage) {
    OriginServer origin;
    std::string over = "HTTP/1.0 200 OK\r\nX-Padding: " + std::string(9000, 'p');
    OriginServer::Answer silent = OriginServer::document("late\n");
    silent.held = true;
    OriginServer::Answer pieces = OriginServer::raw(over + "\r\n\r\n");
    pieces.dribble_bytes = 1000;
    pieces.dribble_ms = 5;
    const std::string LIMIT = "answer-header from server exceeds limit (8192 byte)\r\n";
    const std::string UNPARSABLE = "unable to parse response from server\r\n";
    struct Case {
        const char* name;
        OriginServer::Answer answer;
        std::string report; // after the context
    } cases[] = {
        {"silent", silent, "connection to server timed out\r\n"},
        {"head over 8192 bytes", OriginServer::raw(over + "\r\n\r\nbody"), LIMIT},
        {"head over 8192 bytes in pieces", pieces, LIMIT},
        {"garbage", OriginServer::raw("\x01\x02 no answer at all\r\n\r\n<b>"), UNPARSABLE},
        {"nothing", OriginServer::raw(""), UNPARSABLE},
        // Such heads are neither passed on nor stored.
        {"bare CR", OriginServer::raw("HTTP/1.0 200 OK\r\nX: a\rSet-Cookie: b\r\n\r\n"),
         "answer from server refused: control character in a header line\r\n"},
        {"bad length", OriginServer::raw("HTTP/1.0 200 OK\r\nContent-Length: 5abc\r\n\r\nhello"),
         "answer from server refused: invalid Content-Length\r\n"},
        {"two lengths", OriginServer::raw("HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-length: 6\r\n\r\n"),
         "answer from server refused: conflicting Content-Length headers\r\n"},
    };
    // Nobody waits long for the silent one, which is held for good.
    Harbord proxy({"-timeout", "2", "-debug", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string url = origin.url("/" + std::to_string(&c - cases));
        origin.set(url.substr(url.rfind('/')), c.answer);
        expect_page(proxy.get(url),
                    error_page(url, LANGUAGES[0], "UrlGet::contact_server " + c.report));
        EXPECT_TRUE(proxy.cache_files_for(url).empty());
    }

    // Nothing reaching the internal port disturbs the proxy: a bare connect,
    // 4 KB of random bytes, a proxied POST of them.
    std::string port = std::to_string(proxy.port()), iport = std::to_string(proxy.iport());
    std::string noise(4096, '\0');
    std::mt19937 random(16);
    for (char& byte : noise) byte = char(random());
    for (const std::string& bytes : {std::string(), noise}) {
        int fd = connect_loopback(proxy.iport());
        if (fd < 0) continue; // nothing listens there
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        ::close(fd);
    }
    // The proxy's own ports, on any address of this machine, are never fetched.
    const std::string own = " of this machine: the proxy's own port\r\n";
    const std::string internal = " of this machine: the proxy's internal port\r\n";
    struct Own {
        std::string url, request, report;
    } owns[] = {
        {"http://127.0.0.1:" + iport + "/", "", iport + internal},
        {"http://127.0.0.1:" + iport + "/", noise, iport + internal},
        {"http://127.0.0.1:" + port + "/x", "", port + own},
        {"http://localhost:" + port + "/", "", port + own},
        {"http://127.7.8.9:" + port + "/", "", port + own},
    };
    for (const Own& c : owns) {
        SCOPED_TRACE(c.url);
        std::string report = "UrlGet::contact_server refused to fetch from port " + c.report;
        expect_page(proxy.send(proxy_request(c.request.empty() ? "GET" : "POST", c.url, {},
                                             c.request)),
                    error_page(c.url, LANGUAGES[0], report), 403);
        EXPECT_NE(proxy.log().find(report.substr(0, report.size() - 2) + "\n"), std::string::npos);
    }
    origin.set("/ok", OriginServer::document("/ok"));
    EXPECT_EQ(proxy.get(origin.url("/ok")).body, "/ok");
    EXPECT_EQ(proxy.stop(), 0);
}

// A change that another site's page made the browser send (its Origin or
// Referer tells) loses the token on the way and only gets the page asking to
// confirm; the log says so.
TEST(E2ePages, AChangeSentFromAnotherSitesPageOnlyAsksToConfirm) {
    Harbord proxy({"-debug", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    ASSERT_EQ(proxy.token().size(), 64u);
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"Origin: http://evil.example"}, false},
        {{"Referer: http://evil.example/quaylo/options"}, false},
        {{"Referer: http://quaylo@evil.example/"}, false},
        {{"Origin: null"}, false},
        {{"Referer: http://quaylo/options", "Origin: http://quaylo.evil.example"}, false},
        {{"Referer: http://QUAYLO:80/options?x"}, true},
        {{}, true},
    };
    int maxcon = 20;
    for (const auto& [headers, changes] : cases) {
        SCOPED_TRACE(headers.empty() ? "none" : headers[0]);
        HttpResult page = proxy.get("http://quaylo/options?maxcon=" + std::to_string(++maxcon) +
                                        "&token=" + proxy.token(),
                                    headers);
        EXPECT_EQ(page.body.find("Options were changed") != std::string::npos, changes);
        EXPECT_EQ(page.body.find("<H1>Please confirm</H1>") != std::string::npos, !changes);
    }
    std::string log = proxy.log();
    EXPECT_NE(log.find("UrlGet: token of '/options' dropped"), std::string::npos) << log;
    EXPECT_NE(log.find("AdminRequest: refused: /options: no valid token"), std::string::npos);
}

} // namespace

// The local certificate authority is made on the first download of its
// certificate, beside the setup file, with a key for the owner only; later
// downloads give the same certificate.
TEST(E2ePages, TheLocalAuthoritysCertificateIsOfferedForImport) {
    Harbord proxy;
    HttpResult first = proxy.get("http://quaylo/ca.crt");
    EXPECT_EQ(first.header("Content-Type"), "application/x-x509-ca-cert");
    EXPECT_EQ(first.body.rfind("-----BEGIN CERTIFICATE-----\n", 0), 0u) << first.raw;
    struct stat key {};
    ASSERT_EQ(::stat((proxy.dir() + "/quaylo-ca.key").c_str(), &key), 0);
    EXPECT_EQ(key.st_mode & 0777, 0600u);
    EXPECT_EQ(proxy.get("http://quaylo/ca.crt").body, first.body);
}
