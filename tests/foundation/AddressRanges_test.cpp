// The client allow-list: CIDR words separated by blanks or commas, which
// addresses they let in, and the words refused with the word named.
#include "foundation/AddressRanges.h"
#include "foundation/Fail.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <sstream>

namespace {

uint32_t ip(const char* dotted) { return inet_addr(dotted); }

TEST(AddressRanges, ListsLetInTheirNetworksAndBadWordsAreNamed) {
    struct Case {
        const char* text;
        std::string inside, outside; // addresses separated by blanks
    } valid[] = {
        {"127.0.0.0/8 10.0.0.0/8,172.16.0.0/12, 192.168.0.0/16",
         "127.0.0.1 127.255.255.254 10.1.2.3 172.16.0.1 172.31.255.255 192.168.1.1",
         "128.0.0.1 11.0.0.1 172.32.0.1 172.15.255.255 192.169.0.1 8.8.8.8"},
        {"\t192.168.1.7 ,, 5.6.7.0/31\n", "192.168.1.7 5.6.7.1", "192.168.1.6 192.168.1.8 5.6.7.2"},
        {"10.1.2.3/8", "10.200.0.1", "11.1.2.3"}, // host bits beyond the prefix ignored
        {"0.0.0.0/0", "0.0.0.0 255.255.255.255", ""},
    };
    for (const Case& c : valid) {
        SCOPED_TRACE(c.text);
        AddressRanges ranges;
        ASSERT_EQ(ranges.parse(c.text), 0) << fail_take();
        for (const std::string* list : {&c.inside, &c.outside}) {
            std::istringstream words(*list);
            for (std::string a; words >> a;)
                EXPECT_EQ(ranges.contains(ip(a.c_str())), list == &c.inside) << a;
        }
    }
    // The first bad word is named and the list in force stays.
    for (std::string word : {"10.0.0.0/33", "256.0.0.1", "10.0.0", "10.0.0.0.0", "10.0.0.0/", "/8",
                             "010.0.0.0/8", "10.0.0.0/08", "1.2.3.4/8x", "localhost", "1.2.3.-4",
                             "1.2.3.4/-1", "1..2.3"}) {
        SCOPED_TRACE(word);
        AddressRanges ranges;
        ASSERT_EQ(ranges.parse("127.0.0.0/8"), 0);
        EXPECT_EQ(ranges.parse(("192.168.0.0/16 " + word + " " + word).c_str()), -1);
        EXPECT_EQ(std::string(fail_take()),
                  "AddressRanges::parse '" + word +
                      "' is no network (a.b.c.d or a.b.c.d/bits, bits 0 to 32)\r\n");
        EXPECT_TRUE(ranges.contains(ip("127.0.0.1")) && !ranges.contains(ip("192.168.0.1")));
    }
    AddressRanges none;
    EXPECT_EQ(none.parse(" , "), -1);
    EXPECT_EQ(std::string(fail_take()), "AddressRanges::parse no network given\r\n");
}

} // namespace
