// The host list of `sslhosts`: a name takes in itself and the hosts below
// it, in any case; the empty list takes in every host; a word that is no
// host name makes the list invalid, and an invalid list takes in nothing.
#include "proxy/options/HostList.h"

#include "foundation/Fail.h"

#include <gtest/gtest.h>

TEST(HostList, NamesTakeInThemselvesAndTheHostsBelowThem) {
    const struct {
        const char* list;
        const char* host;
        bool listed;
    } cases[] = {
        {"", "any.example", true},
        {"example.org", "example.org", true},
        {"example.org", "WWW.Example.ORG", true},
        {"example.org", "badexample.org", false},
        {"example.org", "example.org.evil.net", false},
        {"a.test, example.org  news.example.net", "news.example.net", true},
        {"news.example.net", "example.net", false},
        {"example.org bad/name", "example.org", false},
    };
    for (const auto& c : cases) EXPECT_EQ(host_listed(c.list, c.host), c.listed) << c.list << " / " << c.host;
    for (const char* bad : {"exa mple.org/", ".example.org", "example.org.", "a\tb"}) {
        EXPECT_EQ(host_list_invalid(bad), -1) << bad;
        EXPECT_NE(std::string(fail_take()).find("is no host name"), std::string::npos) << bad;
    }
    EXPECT_EQ(host_list_invalid("example.org, 10.0.0.1 www.example.net"), 0);
}
