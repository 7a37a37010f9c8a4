// End to end: the real `vantlow --load` and the real `harbord`, against the
// test origin server serving a generated site. Each test starts its own proxy
// on free loopback ports with its own cache directory, and stops it.
#include "tests/viewer/loader/LoaderTestSupport.h"
#include "testsupport/OriginServer.h"
#include "testsupport/SiteGenerator.h"
#include "viewer/loader/ProxyControl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A child process with its output in files.
class Child {
public:
    Child(const std::vector<std::string>& args, const std::string& cwd, const std::string& out,
          const std::string& err, const std::vector<std::string>& env = {}) {
        std::vector<std::string> words = args;
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        std::vector<std::string> settings = env;
        pid_ = ::fork();
        if (pid_ == 0) {
            for (std::string& setting : settings) ::putenv(setting.data());
            int in = ::open("/dev/null", O_RDONLY);
            int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || o < 0 || e < 0 || ::chdir(cwd.c_str()) < 0) ::_exit(126);
            ::dup2(in, 0);
            ::dup2(o, 1);
            ::dup2(e, 2);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    pid_t Pid() const { return pid_; }

    // The exit status, or -1 when the process is still running after `limit`.
    int Wait(std::chrono::seconds limit = 120s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    void Signal(int signal) { ::kill(pid_, signal); }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

// A harbord of its own: a copy of the binary in a temporary directory (its
// setup file lands there), free ports, a fresh cache.
class Proxy {
public:
    explicit Proxy(const LoaderTempDir& dir) : port_(UnusedPort()), iport_(UnusedPort()) {
        fs::create_directories(dir.File("proxy"));
        fs::copy_file(HARBORD_BIN, dir.File("proxy/harbord"), fs::copy_options::overwrite_existing);
        process_ = std::make_unique<Child>(
            std::vector<std::string>{dir.File("proxy/harbord"), "-port", std::to_string(port_), "-iport",
                                     std::to_string(iport_), "-cachedir", dir.File("cache")},
            dir.File("proxy"), dir.File("harbord.out"), dir.File("harbord.err"));
        for (int i = 0; i < 600 && !ProxyListening(Address()); i++) std::this_thread::sleep_for(50ms);
    }
    ~Proxy() {
        process_->Signal(SIGTERM);
        if (process_->Wait(30s) < 0) process_->Signal(SIGKILL);
    }

    ProxyAddress Address() const { return {"127.0.0.1", port_}; }
    std::string Option() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    uint16_t port_;
    uint16_t iport_;
    std::unique_ptr<Child> process_;
};

struct ListedNode {
    int kind = -1;
    int level = -2;
};

// One run of vantlow and what it left.
struct LoadRun {
    int status = -1;
    std::string log;    // standard error
    std::string graph;  // the graph file
    std::map<std::string, ListedNode> nodes;  // from --list

    int Kind(const std::string& url) const {
        auto it = nodes.find(url);
        return it == nodes.end() ? -1 : it->second.kind;
    }
    int Level(const std::string& url) const {
        auto it = nodes.find(url);
        return it == nodes.end() ? -2 : it->second.level;
    }
    size_t Lines(const std::string& text) const {
        size_t count = 0;
        for (size_t at = log.find(text + "\n"); at != std::string::npos; at = log.find(text + "\n", at + 1)) count++;
        return count;
    }
    // URLs of the pages loaded as HTML.
    std::set<std::string> HtmlLoaded() const {
        std::set<std::string> urls;
        for (const auto& [url, node] : nodes)
            if (node.kind == 14 && node.level >= 0) urls.insert(url);
        return urls;
    }
};

class VantlowLoad : public ::testing::Test {
protected:
    VantlowLoad() : origin_(dir_.Path() + "/site") {
        fs::create_directories(dir_.Path() + "/site");
        site_ = GenerateSite(dir_.Path() + "/site", origin_.port(), SiteShape{30, 3, 2, 1});
        site_.ApplyTo(origin_);
    }

    LoadRun Load(std::vector<std::string> options, const std::string& proxy) {
        LoadRun run;
        std::string graph = dir_.File("run" + std::to_string(++runs_) + ".gra");
        std::vector<std::string> args = {VANTLOW_BIN, "--load", site_.StartUrl(), "--output", graph, "--list"};
        if (!proxy.empty()) args.insert(args.end(), {"--proxy", proxy});
        args.insert(args.end(), options.begin(), options.end());
        Child child(args, dir_.Path(), dir_.File("vantlow.out"), dir_.File("vantlow.err"), Environment());
        run.status = child.Wait();
        run.log = ReadFileText(dir_.File("vantlow.err"));
        run.graph = ReadFileText(graph);
        std::istringstream list(ReadFileText(dir_.File("vantlow.out")));
        ListedNode node;
        std::string url;
        while (list >> node.kind >> node.level >> url) run.nodes[url] = node;
        return run;
    }

    std::vector<std::string> Environment() const { return {"XDG_STATE_HOME=" + dir_.File("state")}; }

    std::set<std::string> Urls(const std::vector<std::string>& paths) const {
        std::set<std::string> urls;
        for (const std::string& path : paths) urls.insert(site_.base + path);
        return urls;
    }

    LoaderTempDir dir_;
    OriginServer origin_;
    GeneratedSite site_;
    int runs_ = 0;
};

// Node ids of the graph file by URL, and its edges.
struct GraphFileText {
    explicit GraphFileText(const std::string& text) {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string kind, label, url;
            int a = 0, b = 0;
            words >> kind;
            if (kind == "n" && words >> a >> label >> url) ids[url] = a;
            if (kind == "e" && words >> a >> b) edges.insert({a, b});
        }
    }
    bool Linked(const std::string& from, const std::string& to) const {
        return ids.count(from) && ids.count(to) && edges.count({ids.at(from), ids.at(to)});
    }
    std::map<std::string, int> ids;
    std::set<std::pair<int, int>> edges;
};

}  // namespace

TEST(VantlowCommandLine, HelpDescribesTheLoadJobAndWrongArgumentsAreRefused) {
    LoaderTempDir dir;
    Child help({VANTLOW_BIN, "--help"}, dir.Path(), dir.File("out"), dir.File("err"));
    EXPECT_EQ(help.Wait(), 0);
    EXPECT_NE(ReadFileText(dir.File("out")).find("--load URL --output FILE.gra"), std::string::npos);
    Child wrong({VANTLOW_BIN, "--load", "x"}, dir.Path(), dir.File("out"), dir.File("err"));
    EXPECT_EQ(wrong.Wait(), 2);
    EXPECT_NE(ReadFileText(dir.File("err")).find("--output"), std::string::npos);
}

TEST_F(VantlowLoad, LevelZeroLoadsTheStartPageAndDrawsItsLinks) {
    Proxy proxy(dir_);
    LoadRun run = Load({"--levels", "0"}, proxy.Option());
    EXPECT_EQ(run.status, 0) << run.log;
    EXPECT_EQ(run.HtmlLoaded(), std::set<std::string>{site_.StartUrl()});
    EXPECT_EQ(run.Kind(site_.base + site_.framesetPath), 2);
    EXPECT_EQ(run.Kind(site_.otherBase + site_.otherHostPage), 1);
    EXPECT_EQ(run.Kind(site_.mailtoUrl), 4);
    EXPECT_EQ(run.Kind(site_.ftpUrl), 3);
    GraphFileText graph(run.graph);
    ASSERT_EQ(graph.ids.size(), run.nodes.size());
    for (const auto& [url, node] : run.nodes)
        EXPECT_TRUE(url == site_.StartUrl() || graph.Linked(site_.StartUrl(), url)) << url;
    EXPECT_EQ(run.Lines("Checking if offline proxy is running..."), 1u);
    EXPECT_NE(run.log.find("HTML pages: 1, nodes: " + std::to_string(run.nodes.size())), std::string::npos)
        << run.log;
}

TEST_F(VantlowLoad, HtmlPagesLoadedAreThoseWithinTheLevelLimit) {
    Proxy proxy(dir_);
    for (int levels : {1, 2, -1}) {
        LoadRun run = Load(levels < 0 ? std::vector<std::string>{"--unlimited-levels"}
                                      : std::vector<std::string>{"--levels", std::to_string(levels)},
                           proxy.Option());
        EXPECT_EQ(run.status, 0) << run.log;
        EXPECT_EQ(run.HtmlLoaded(), Urls(site_.PathsWithinLevels(levels))) << "levels " << levels;
        EXPECT_NE(run.log.find("HTML pages: " + std::to_string(site_.PagesWithinLevels(levels)) + ","),
                  std::string::npos)
            << run.log;
    }
}

TEST_F(VantlowLoad, ZipRedirect404AndOtherHost) {
    Proxy proxy(dir_);
    LoadRun run = Load({"--levels", "1"}, proxy.Option());
    EXPECT_EQ(run.status, 0) << run.log;

    // The zip file: a HEAD only.
    EXPECT_EQ(run.Kind(site_.base + site_.zipPath), 22);
    EXPECT_EQ(origin_.request_count(site_.zipPath), 1u);
    for (const auto& request : origin_.requests())
        EXPECT_TRUE(request.path != site_.zipPath || request.method == "HEAD") << request.method;

    // "dN" answers 302 with "dN/", which is loaded with the level of the link.
    size_t followed = 0;
    for (const auto& [from, to] : site_.redirects) {
        if (from.rfind('/') != 0) continue;  // not on the start page
        EXPECT_EQ(run.Kind(site_.base + from), 13) << from;
        EXPECT_EQ(run.Kind(to), 14) << to;
        EXPECT_EQ(run.Level(to), 0) << to;
        followed++;
    }
    EXPECT_GT(followed, 0u);

    EXPECT_EQ(run.Kind(site_.base + "/missing-root.html"), 10);
    EXPECT_EQ(run.Kind(site_.otherBase + site_.otherHostPage), 1);
    EXPECT_EQ(origin_.request_count(site_.otherHostPage), 0u);

    LoadRun followed_run = Load({"--levels", "1", "--follow-other-hosts"}, proxy.Option());
    EXPECT_EQ(followed_run.Kind(site_.otherBase + site_.otherHostPage), 14);
    EXPECT_GT(origin_.request_count(site_.otherHostPage), 0u);
}

TEST_F(VantlowLoad, PictureUsedOnEveryPageIsLoadedOnce) {
    Proxy proxy(dir_);
    LoadRun run = Load({"--unlimited-levels", "--pictures"}, proxy.Option());
    EXPECT_EQ(run.status, 0) << run.log;
    EXPECT_EQ(run.Lines("Loading " + site_.base + site_.sharedPicture + " ..."), 1u) << run.log;
    EXPECT_GE(origin_.request_count(site_.sharedPicture), 1u);
    for (const std::string& picture : site_.pictures)
        EXPECT_EQ(run.Lines("Loading " + site_.base + picture + " ..."), 1u) << picture;
}

TEST_F(VantlowLoad, LoadedPagesAreReadableOfflineFromTheCache) {
    Proxy proxy(dir_);
    LoadRun online = Load({"--unlimited-levels"}, proxy.Option());
    ASSERT_EQ(online.status, 0) << online.log;
    origin_.stop();  // from now on only the cache can answer

    // The warm run switches the proxy offline and finds every page there.
    LoadRun offline = Load({"--unlimited-levels", "--offline"}, proxy.Option());
    EXPECT_EQ(offline.HtmlLoaded(), online.HtmlLoaded());

    for (const std::string& path : site_.PathsWithinLevels(-1)) {
        std::string file = path.back() == '/' ? path + "index.html" : path;
        std::string url = site_.base + path;
        Child curl({"/usr/bin/curl", "-s", "-f", "-x", proxy.Option(), url}, dir_.Path(), dir_.File("curl.out"),
                   dir_.File("curl.err"));
        EXPECT_EQ(curl.Wait(), 0) << url;
        EXPECT_EQ(ReadFileText(dir_.File("curl.out")), ReadFileText(dir_.Path() + "/site" + file)) << url;
    }
}

TEST_F(VantlowLoad, InterruptStopsTheJobAndItsGraphIsStillWritten) {
    OriginServer::Answer silent = OriginServer::document("late");
    silent.delay_ms = 600000;
    std::string start = "<a href=slow1.html>1</a><a href=slow2.html>2</a>";
    OriginServer slow;
    slow.set("/", OriginServer::document(start));
    slow.set("/slow1.html", silent);
    slow.set("/slow2.html", silent);
    std::string graph = dir_.File("stopped.gra");
    Child child({VANTLOW_BIN, "--load", slow.url("/"), "--output", graph, "--direct", "--levels", "3"},
                dir_.Path(), dir_.File("out"), dir_.File("err"), Environment());
    ASSERT_TRUE(slow.wait_for_requests(4, 60000));  // the start page, then both checks
    const auto sent = std::chrono::steady_clock::now();
    child.Signal(SIGINT);
    int status = child.Wait(60s);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
    EXPECT_EQ(status, 1);
    std::cerr << "stopped " << took.count() << " ms after SIGINT\n";
    std::string log = ReadFileText(dir_.File("err"));
    EXPECT_NE(log.find("Loading was stopped on request."), std::string::npos) << log;
    GraphFileText written(ReadFileText(graph));
    EXPECT_EQ(written.ids.size(), 3u);
    EXPECT_TRUE(written.Linked(slow.url("/"), slow.url("/slow1.html")));
    slow.stop();
}

TEST_F(VantlowLoad, MissingProxyIsStartedFromBesideVantlow) {
    // vantlow looks for harbord in its own directory: a copy of vantlow with a
    // harbord beside it that runs the real proxy on ports of this test.
    const uint16_t port = UnusedPort();
    const uint16_t iport = UnusedPort();
    fs::create_directories(dir_.File("app"));
    fs::copy_file(VANTLOW_BIN, dir_.File("app/vantlow"));
    fs::copy_file(HARBORD_BIN, dir_.File("app/harbord.real"));
    {
        std::ofstream script(dir_.File("app/harbord"));
        script << "#!/bin/sh\n"
               << "echo \"started with: $*\"\n"
               << "echo $$ > " << dir_.File("proxy.pid") << "\n"
               << "exec ./harbord.real \"$@\" -iport " << iport << " -cachedir " << dir_.File("cache") << "\n";
    }
    fs::permissions(dir_.File("app/harbord"), fs::perms::owner_all);

    std::string graph = dir_.File("started.gra");
    Child child({dir_.File("app/vantlow"), "--load", site_.StartUrl(), "--output", graph, "--levels", "0",
                 "--proxy", "127.0.0.1:" + std::to_string(port)},
                dir_.Path(), dir_.File("out"), dir_.File("err"), Environment());
    int status = child.Wait();
    std::string pid = ReadFileText(dir_.File("proxy.pid"));
    EXPECT_EQ(status, 0) << ReadFileText(dir_.File("err"));
    std::string log = ReadFileText(dir_.File("state/vantlow/harbord.log"));
    EXPECT_NE(log.find("started with: -port " + std::to_string(port) + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ready."), std::string::npos) << log;
    EXPECT_TRUE(ProxyListening({"127.0.0.1", port}));
    ASSERT_FALSE(pid.empty());
    pid_t proxyPid = static_cast<pid_t>(std::stol(pid));
    ::kill(proxyPid, SIGTERM);
    for (int i = 0; i < 600 && ::kill(proxyPid, 0) == 0; i++) std::this_thread::sleep_for(50ms);
    EXPECT_NE(::kill(proxyPid, 0), 0);
}
