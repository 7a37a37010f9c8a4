// Installed into a temporary DESTDIR and run with a temporary HOME, the
// programs keep their settings in $XDG_CONFIG_HOME/quaylo, their cache under
// $XDG_CACHE_HOME/quaylo and read the help from share/quaylo; the installed
// vantlow starts the installed harbord from PATH.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace e2e;

namespace {

struct Installed {
    TempDir root{"quaylo-install"}, home{"quaylo-home"};
    std::string bin = root.file("usr/bin");
    uint16_t port = free_port(), iport = free_port();

    // A program of the installation with the temporary home and PATH.
    CommandResult run(std::vector<std::string> argv, int timeout_ms = 60000) const {
        argv.insert(argv.begin(), {"env", "-i", "HOME=" + home.path(), "PATH=" + bin + ":/usr/bin:/bin"});
        return run_command(argv, timeout_ms, home.path());
    }
    // harbord in the background: its process id.
    std::string start_harbord(const std::string& more = "") const {
        return run({"sh", "-c", "harbord -port " + std::to_string(port) + " -iport " + std::to_string(iport) + more +
                                    " >harbord.log 2>&1 & echo $!"}).out;
    }
    void stop_harbord(const std::string& pid) const {
        run_command({"sh", "-c", "kill " + pid + "; while kill -0 " + pid + " 2>/dev/null; do sleep 0.1; done"});
    }
    HttpResult get(const std::string& url) const {
        return parse_http(e2e::exchange(port, proxy_request("GET", url)));
    }
};

} // namespace

TEST(Install, SettingsCacheAndHelpLiveInTheUsersDirectoriesAndVantlowStartsTheInstalledProxy) {
    Installed installed;
    CommandResult made = run_command({"env", "DESTDIR=" + installed.root.path(), "cmake", "--install", BUILD_DIR,
                                      "--prefix", "/usr"}, 120000);
    ASSERT_EQ(made.status, 0) << made.out << made.err;
    EXPECT_FALSE(std::filesystem::exists(installed.bin + "/.quaylo-build-tree"));

    std::string pid = installed.start_harbord();
    ASSERT_TRUE(eventually([&] { return installed.get("http://quaylo/").answered; }))
        << read_file(installed.home.file("harbord.log"));
    EXPECT_EQ(installed.get("http://quaylo/help?mode.htm").body,
              read_file(installed.root.file("usr/share/quaylo/help_e/mode.htm")));
    // An option changed through the options page, with the token its confirmation page holds.
    std::string confirm = installed.get("http://quaylo/options?maxcon=7").body;
    size_t at = confirm.find("name=\"token\" value=\"");
    ASSERT_NE(at, std::string::npos) << confirm;
    std::string token = confirm.substr(at + 20, confirm.find('"', at + 20) - at - 20);
    installed.get("http://quaylo/options?maxcon=7&token=" + token);
    installed.stop_harbord(pid);

    const std::string config = installed.home.file(".config/quaylo/harbord.cfg");
    EXPECT_TRUE(std::filesystem::is_regular_file(config));
    EXPECT_TRUE(std::filesystem::is_directory(installed.home.file(".cache/quaylo/cache")));
    EXPECT_NE(installed.run({"harbord", "-show"}).err.find("-maxcon   7\n"), std::string::npos);

    // Nothing listens: vantlow starts the installed harbord, which keeps the port it was given.
    OriginServer origin;
    origin.set("/", OriginServer::document("<a href=a.html>a</a>"));
    origin.set("/a.html", OriginServer::document("a"));
    CommandResult load = installed.run({"vantlow", "--load", origin.url("/"), "--output", installed.home.file("g.gra"),
                                        "--proxy", "127.0.0.1:" + std::to_string(installed.port)});
    EXPECT_EQ(load.status, 0) << load.err;
    EXPECT_NE(load.err.find("Documents loaded: 2"), std::string::npos) << load.err;
    std::string started = read_file(installed.home.file(".local/state/vantlow/harbord.log"));
    EXPECT_NE(started.find("ready."), std::string::npos) << started;
    // The lock file in the cache holds the running harbord's process id.
    installed.stop_harbord(std::to_string(std::atoi(read_file(installed.home.file(".cache/quaylo/cache/harbord.lock")).c_str())));

    // Starts that cannot find or make their places say where and why, and end with 20.
    write_file(installed.home.file("plain-file"), "x");
    std::filesystem::create_directories(installed.home.file("odd/quaylo/harbord.cfg"));
    const std::string harbord = installed.bin + "/harbord";
    const std::pair<std::vector<std::string>, std::string> starts[] = {
        {{"env", "-i", harbord}, "neither XDG_CONFIG_HOME nor HOME is set"},
        {{"env", "-i", "HOME=" + installed.home.path(), "XDG_CONFIG_HOME=" + installed.home.file("plain-file/cfg"), harbord},
         "'" + installed.home.file("plain-file") + "' is not a directory"},
        {{"env", "-i", "HOME=" + installed.home.path(), "XDG_CONFIG_HOME=" + installed.home.file("odd"), harbord},
         "the setup file '" + installed.home.file("odd/quaylo/harbord.cfg") + "' is a directory"},
    };
    for (const auto& [argv, says] : starts) {
        CommandResult start = run_command(argv);
        EXPECT_EQ(start.status, 20) << says;
        EXPECT_NE(start.err.find(says), std::string::npos) << start.err;
    }
}
