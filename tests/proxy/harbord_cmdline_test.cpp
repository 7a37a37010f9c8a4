// harbord's command line, run as a real process from a copy of the binary in
// a temporary folder: the listings, the setup file beside the program that
// keeps what a good command line set, and the exit code of a bad one.
#include "testsupport/HarbordFixture.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using namespace e2e;

namespace {

const std::string HELP_LISTING =
    "option    valid parameter      description\n"
    "-----------------------------------------------\n"
    "-help                          display this text\n"
    "-cwd      path                 change working directory to path\n"
    "-setup    file path            use the specified setup-file\n"
    "-show                          show current setup\n"
    "-admins   any string           hosts that are allowed to change options\n"
    "-cachedir readable writeable executable directory path where to store cached URLs\n"
    "-cachefiles 2 to 2000000         maximum number of URLs to hold in cache\n"
    "-cachesize 8 to 2000000         maximum number of kByte to hold in cache\n"
    "-cafile   any string           file of certificate authorities trusted for HTTPS besides the "
    "system's\n"
    "-clients  any string           networks of the clients allowed to use the proxy\n"
    "-debug    true false 1 0       if enabled, a lot of information is emitted to stdout\n"
    "-entrysize 2 to 2000000         cache only files which are less then 'entrysize' kB in "
    "length\n"
    "-exportdir readable writeable executable directory path where to store exported URLs\n"
    "-importdir readable writeable executable directory path where to import URLs from\n"
    "-iport    1 to 65535           port used for internal communication\n"
    "-language english deutsch dutch chooses one of the available user-interface languages\n"
    "-maxcon   1 to 100             maximum number of concurrent network connections\n"
    "-offline  true false 1 0       offline mode switch\n"
    "-port     1 to 65535           number of port to listen to\n"
    "-proxyhost any string           remote-proxy server to use (if any)\n"
    "-proxyport 1 to 65535           port of remote-proxy server to use (if any)\n"
    "-sockshost any string           SOCKS server to use (if any)\n"
    "-socksport 1 to 65535           port of the SOCKS server to use (if any)\n"
    "-socksuser any string           user-name to use for SOCKS request\n"
    "-sslcache true false 1 0       if enabled, HTTPS pages are kept too, answered with the local CA's "
    "certificates\n"
    "-sslhosts any string           hosts whose HTTPS pages are kept (empty: all)\n"
    "-sslports any string           ports that HTTPS tunnels (CONNECT) may lead to\n"
    "-timeout  1 to 3600            time in seconds to wait for data before closing a "
    "connection\n"
    "-updtime  0 to 360000          time in seconds before a check for a document-change is "
    "made\n";

// The -show listing: the options of the help listing, in its order, with
// these values (separated by "|").
std::string show_listing(const std::string& values) {
    std::string text =
        "option    current setting\n-----------------------------------------------\n";
    std::istringstream in(values);
    size_t line = HELP_LISTING.find("\n-admins");
    for (std::string value; std::getline(in, value, '|');) {
        std::string name = HELP_LISTING.substr(line + 1, HELP_LISTING.find(' ', line) - line - 1);
        name.resize(std::max<size_t>(name.size(), 9), ' ');
        text += name + " " + value + "\n";
        line = HELP_LISTING.find('\n', line + 1);
    }
    return text;
}

TEST(HarbordCommandLine, ASetupFileBesideTheProgramKeepsTheCommandLineForListingsAndChecks) {
    Harbord proxy({"-maxcon", "5"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    // The first start found no setup file, said so and wrote one.
    std::string setup_path = proxy.dir() + "/harbord.cfg", log = proxy.log();
    EXPECT_EQ(log.rfind("no setup file '" + setup_path + "' yet: default values are used\n", 0), 0u)
        << log;
    std::string setup = read_file(setup_path);

    // Later runs read it beside the program, wherever they are started.
    std::string show =
        show_listing("127.0.0.1|" + proxy.cachedir() +
                     "|10000|4096||127.0.0.0/8 10.0.0.0/8 172.16.0.0/12 192.168.0.0/16|0|500|"
                     "./export|./import|" +
                     std::to_string(proxy.iport()) + "|english|5|0|" +
                     std::to_string(proxy.port()) + "||8080||1080||0||443|10|36000");
    const std::string BAD = "\nsyntax information:\n" + HELP_LISTING + "MALFUNCTION:\nOptionSet::";
    struct Case {
        std::string words;
        int status;
        std::string listing; // on standard error
    } cases[] = {
        {"-show", 0, show},
        {"-help", 0, HELP_LISTING},
        {"-maxcon 7 -show", 0, show},
        {"-port 0", 20,
         BAD + "parse_cmdline cannot set option '-port', reason:\r\n OptionSet::set cannot set "
               "option 'port', reason:\r\n OptionInt::from_Str value 0 is out of range;\n valid "
               "are integers from 1 to 65535\n\r\n\n"},
        // Refused before anything is written back.
        {"-clients 10.0.0.0/8,10.0.0.0/33", 20,
         BAD + "parse_cmdline cannot set option '-clients', reason:\r\n OptionSet::set cannot "
               "set option 'clients', reason:\r\n OptionStr::from_Str invalid value for option, "
               "reason:\r\n AddressRanges::parse '10.0.0.0/33' is no network (a.b.c.d or "
               "a.b.c.d/bits, bits 0 to 32)\r\n\n"},
        {"-sslports 443,8000-70000", 20,
         BAD + "parse_cmdline cannot set option '-sslports', reason:\r\n OptionSet::set cannot "
               "set option 'sslports', reason:\r\n OptionStr::from_Str invalid value for option, "
               "reason:\r\n PortList: '8000-70000' is no port or port range (1 to 65535, or low-high)\r\n\n"},
        {"-nosuch 1", 20,
         BAD + "parse unknown option '-nosuch', reason:\r\n OptionSet::find unknown option "
               "'nosuch'\r\n\n"},
        // A remote proxy that is this proxy would wait for itself forever.
        {"-proxyhost 127.0.0.1 -proxyport " + std::to_string(proxy.port()), 20,
         "MALFUNCTION:\nRelais: remote proxy '127.0.0.1:" + std::to_string(proxy.port()) +
             "' is this proxy itself: change -proxyhost or -proxyport\r\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        std::vector<std::string> argv = {proxy.program()};
        std::istringstream words(c.words);
        for (std::string word; words >> word;)
            argv.push_back(word);
        CommandResult run = run_command(argv, 60000, proxy.cachedir());
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.listing);
        EXPECT_EQ(run.out, "");
        // Nothing is written back but by a command line that starts the server.
        EXPECT_EQ(read_file(setup_path), setup);
        EXPECT_FALSE(std::filesystem::exists(proxy.cachedir() + "/harbord.cfg"));
    }
}

// One cache, one server: a second start says who holds the cache and ends
// before reading it; a server killed outright leaves nothing in the way.
TEST(HarbordCommandLine, ASecondServerOnTheSameCacheNamesTheFirstAndEnds) {
    Harbord first;
    ASSERT_TRUE(first.running()) << first.log();
    TempDir other("harbord-second");
    std::filesystem::copy_file(first.program(), other.file("harbord"));
    write_file(other.file(".quaylo-build-tree"), "");
    CommandResult run = run_command({other.file("harbord"), "-port", std::to_string(free_port()),
                                     "-iport", std::to_string(free_port()), "-cachedir",
                                     first.cachedir()});
    EXPECT_EQ(run.status, 20);
    EXPECT_NE(run.err.find("MALFUNCTION:\nRelais: unable to initialize cache, reason:\r\n "
                           "Relais: cache directory '" + first.cachedir() +
                           "' is in use by process " + std::to_string(first.pid()) + "\r\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("reading cache"), std::string::npos) << run.err;
    first.kill9();
    EXPECT_TRUE(first.start()) << first.log();
}

} // namespace
