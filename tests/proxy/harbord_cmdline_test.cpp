// harbord's command line, run as a real process: listings, the setup file
// beside the program, and the exit codes. Each test runs its own copy of the
// binary in a temporary folder, so the setup file it writes lands there.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

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
    "-timeout  1 to 3600            time in seconds to wait for data before closing a "
    "connection\n"
    "-updtime  0 to 360000          time in seconds before a check for a document-change is "
    "made\n";

const std::vector<std::pair<std::string, std::string>> DEFAULTS = {
    {"admins", "127.0.0.1"}, {"cachedir", "./cache"}, {"cachefiles", "10000"},
    {"cachesize", "4096"},   {"debug", "0"},          {"entrysize", "500"},
    {"exportdir", "./export"}, {"importdir", "./import"}, {"iport", "8808"},
    {"language", "english"}, {"maxcon", "16"},        {"offline", "0"},
    {"port", "8080"},        {"proxyhost", ""},       {"proxyport", "8080"},
    {"sockshost", ""},       {"socksport", "1080"},   {"socksuser", ""},
    {"timeout", "60"},       {"updtime", "36000"}};

std::string show_listing(const std::vector<std::pair<std::string, std::string>>& values) {
    std::string text = "option    current setting\n"
                       "-----------------------------------------------\n";
    for (const auto& [name, value] : values) {
        std::string column = "-" + name;
        if (column.size() < 9) column.resize(9, ' ');
        text += column + " " + value + "\n";
    }
    return text;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Tag and name/value pairs of a setup file; empty tag on bad framing.
std::vector<std::pair<std::string, std::string>> parse_setup(const std::string& bytes,
                                                             std::string& tag) {
    std::vector<std::pair<std::string, std::string>> pairs;
    tag = bytes.substr(0, 4);
    size_t at = 4;
    auto next = [&](std::string& out) {
        if (at + 4 > bytes.size()) return false;
        uint32_t n = 0;
        for (int i = 0; i < 4; i++) n |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
        at += 4;
        if (at + n > bytes.size()) return false;
        out = bytes.substr(at, n);
        at += n;
        return true;
    };
    while (at < bytes.size()) {
        std::string name, value;
        if (!next(name) || !next(value)) {
            tag.clear();
            break;
        }
        pairs.emplace_back(name, value);
    }
    return pairs;
}

// A listening port held by the test. A good command line names it as the
// proxy port, so a harbord that goes on to start its server stops at once
// (it cannot listen there) instead of running on; the setup file is written
// before that point either way.
class BlockedPort {
public:
    BlockedPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t length = sizeof address;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fd_, 1) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~BlockedPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    std::string text() const { return std::to_string(port_); }
    bool ok() const { return port_ != 0; }

private:
    int fd_ = -1;
    int port_ = 0;
};

struct Result {
    int code = -1;
    std::string err;
    std::string out;
};

class HarbordCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/harbord_cmdline_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        program = dir / "harbord";
        fs::copy_file(HARBORD_PATH, program);
        fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);
        setup = dir / "harbord.cfg";
        work = dir / "work";
        fs::create_directory(work);
        ASSERT_TRUE(blocked.ok());
        port = blocked.text();
        values = DEFAULTS;
        set_value("port", port);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the copy from another working directory, so that only the program's
    // own location can put the setup file beside it. Standard error is
    // captured through a pipe.
    Result run(const std::vector<std::string>& words) {
        Result result;
        int pipe_fds[2];
        if (::pipe(pipe_fds) != 0) return result;
        std::string out_path = (dir / "stdout.txt").string();
        pid_t child = ::fork();
        if (child == 0) {
            ::close(pipe_fds[0]);
            int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || ::dup2(out, 1) < 0 || ::dup2(pipe_fds[1], 2) < 0) ::_exit(126);
            if (::chdir(work.c_str()) != 0) ::_exit(126);
            std::vector<char*> argv;
            std::string name = program.string();
            argv.push_back(name.data());
            std::vector<std::string> copies(words);
            for (std::string& word : copies) argv.push_back(word.data());
            argv.push_back(nullptr);
            ::execv(name.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(pipe_fds[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) result.err.append(buffer, size_t(n));
        ::close(pipe_fds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = read_file(out_path);
        return result;
    }

    // A good command line: harbord saves its setup file and either ends (no
    // server in this build) or fails to listen on the blocked port.
    void expect_good_start(const Result& r) {
        if (r.code == 20)
            EXPECT_NE(r.err.find("unable to setup server"), std::string::npos) << r.err;
        else
            EXPECT_EQ(r.code, 0) << r.err;
    }

    // A first start writes the setup file, so later runs print no complaint.
    void first_start() {
        Result r = run({"-port", port});
        expect_good_start(r);
        ASSERT_TRUE(fs::exists(setup));
    }

    void set_value(const std::string& name, const std::string& value) {
        for (auto& pair : values)
            if (pair.first == name) pair.second = value;
    }

    fs::path dir;
    fs::path program;
    fs::path setup;
    fs::path work;
    BlockedPort blocked;
    std::string port;
    // The settings the setup file should hold.
    std::vector<std::pair<std::string, std::string>> values;
};

TEST_F(HarbordCommandLine, HelpPrintsTheListingOnStandardErrorAndExitsZero) {
    first_start();
    Result r = run({"-help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, HELP_LISTING);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(work / "cache"));
}

TEST_F(HarbordCommandLine, FirstStartReportsTheMissingSetupFileAndWritesIt) {
    Result r = run({"-port", port});
    expect_good_start(r);
    std::string expected_start = "MALFUNCTION:\nOptionSet::load cannot open option-file, default "
                                 "values will be used, reason:\r\n ";
    EXPECT_EQ(r.err.substr(0, expected_start.size()), expected_start) << r.err;
    EXPECT_NE(r.err.find(setup.string()), std::string::npos) << r.err;

    std::string tag;
    auto pairs = parse_setup(read_file(setup), tag);
    EXPECT_EQ(tag, "UTES");
    EXPECT_EQ(pairs, values);
    EXPECT_FALSE(fs::exists(work / "harbord.cfg"));
}

TEST_F(HarbordCommandLine, ShowPrintsTheCurrentSettingsAndExitsZero) {
    first_start();
    Result r = run({"-show"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, show_listing(values));
    EXPECT_EQ(r.out, "");
}

TEST_F(HarbordCommandLine, ShowAndHelpTogetherPrintShowFirst) {
    first_start();
    Result r = run({"-help", "-show"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, show_listing(values) + HELP_LISTING);
}

TEST_F(HarbordCommandLine, CommandLineValueIsSavedAndShownOnTheNextStart) {
    first_start();
    Result set = run({"-maxcon", "5", "-port", port});
    expect_good_start(set);

    std::string bytes = read_file(setup);
    EXPECT_EQ(bytes.substr(0, 4), "UTES");
    std::string tag;
    auto pairs = parse_setup(bytes, tag);
    set_value("maxcon", "5");
    EXPECT_EQ(pairs, values);

    Result show = run({"-show"});
    EXPECT_EQ(show.code, 0);
    EXPECT_EQ(show.err, show_listing(values));
    EXPECT_NE(show.err.find("-maxcon   5\n"), std::string::npos);
}

TEST_F(HarbordCommandLine, ShowNeitherAppliesNorSavesOtherOptions) {
    first_start();
    std::string before = read_file(setup);
    Result r = run({"-maxcon", "7", "-show"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, show_listing(values));
    EXPECT_EQ(read_file(setup), before);
}

TEST_F(HarbordCommandLine, OutOfRangePortPrintsSyntaxHelpThenTheReportAndExits20) {
    first_start();
    std::string before = read_file(setup);
    Result r = run({"-port", "0"});
    EXPECT_EQ(r.code, 20);
    EXPECT_EQ(r.err, "\nsyntax information:\n" + HELP_LISTING +
                         "MALFUNCTION:\n"
                         "OptionSet::parse_cmdline cannot set option '-port', reason:\r\n"
                         " OptionSet::set cannot set option 'port', reason:\r\n"
                         " OptionInt::from_Str value 0 is out of range;\n"
                         " valid are integers from 1 to 65535\n\r\n\n");
    EXPECT_EQ(read_file(setup), before);
}

TEST_F(HarbordCommandLine, UnknownOptionExits20) {
    first_start();
    Result r = run({"-nosuch", "1"});
    EXPECT_EQ(r.code, 20);
    EXPECT_EQ(r.err, "\nsyntax information:\n" + HELP_LISTING +
                         "MALFUNCTION:\n"
                         "OptionSet::parse unknown option '-nosuch', reason:\r\n"
                         " OptionSet::find unknown option 'nosuch'\r\n\n");
}

TEST_F(HarbordCommandLine, MissingParameterExits20) {
    first_start();
    Result r = run({"-port"});
    EXPECT_EQ(r.code, 20);
    EXPECT_NE(r.err.find("missing parameter for option '-port'"), std::string::npos) << r.err;
}

TEST_F(HarbordCommandLine, CwdMovesTheWorkingDirectoryBeforeARelativeSetupFile) {
    first_start();
    Result r = run({"-cwd", dir.string(), "-setup", "moved.cfg", "-maxcon", "3", "-port", port});
    expect_good_start(r);
    std::string tag;
    auto pairs = parse_setup(read_file(dir / "moved.cfg"), tag);
    EXPECT_EQ(tag, "UTES");
    ASSERT_EQ(pairs.size(), 20u);
    EXPECT_EQ(pairs[10], (std::pair<std::string, std::string>{"maxcon", "3"}));
    EXPECT_FALSE(fs::exists(work / "moved.cfg"));
}

TEST_F(HarbordCommandLine, SetupOptionNamesTheFileReadAndWritten) {
    first_start();
    std::string before = read_file(setup);
    Result r = run({"-setup", "other.cfg", "-timeout", "90", "-port", port});
    expect_good_start(r);
    EXPECT_EQ(read_file(setup), before);
    std::string tag;
    auto pairs = parse_setup(read_file(work / "other.cfg"), tag);
    EXPECT_EQ(tag, "UTES");
    set_value("timeout", "90");
    EXPECT_EQ(pairs, values);
}

} // namespace
