#include "viewer/loader/ProxyControl.h"

#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "foundation/ProgramPath.h"
#include "viewer/loader/LoaderTexts.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char kProxyProgram[] = "harbord";
constexpr char kAdminHost[] = "quaylo";
constexpr const char* kLocalHosts[] = {"localhost", "127.0.0.1", "local_host"};

bool IsLocalHost(const std::string& host) {
    for (const char* local : kLocalHosts)
        if (host == local) return true;
    return false;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p; true when the directory exists afterwards.
bool MakeDirectories(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    std::string parent = DirectoryOf(path);
    if (parent != path && !MakeDirectories(parent)) return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

void WriteAll(int fd, const void* data, size_t count) {
    const char* bytes = static_cast<const char*>(data);
    while (count > 0) {
        ssize_t n = ::write(fd, bytes, count);
        if (n <= 0) return;
        bytes += n;
        count -= static_cast<size_t>(n);
    }
}

// In the grandchild: only async-signal-safe calls from here to exec.
[[noreturn]] void ExecDetached(const char* directory, const char* logPath, char* const argv[], int reportFd,
                               int maxFd) {
    int error = 0;
    // The proxy must hear its stop signals, whatever this program blocks.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::setsid() < 0 || ::chdir(directory) < 0) error = errno;
    int in = error ? -1 : ::open("/dev/null", O_RDONLY);
    int out = in < 0 ? -1 : ::open(logPath, O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (!error && (in < 0 || out < 0)) error = errno;
    if (!error && (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0)) error = errno;
    if (!error) {
        for (int fd = 3; fd < maxFd; fd++)
            if (fd != reportFd) ::close(fd);
        ::execv(argv[0], argv);
        error = errno;
    }
    WriteAll(reportFd, &error, sizeof error);
    ::_exit(127);
}

// The first executable file of that name along $PATH; "" when none.
std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "";
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        std::string directory = rest.substr(0, colon);
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
        std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::string();
}

}  // namespace

std::string ProxyProgramPath() {
    // An installed vantlow starts the installed proxy, wherever PATH finds it.
    if (!in_build_tree()) {
        std::string found = FindOnPath(kProxyProgram);
        if (!found.empty()) return found;
    }
    Str directory = program_dir();
    if (directory.empty()) {
        fail_take();
        return std::string();
    }
    std::string path(directory.c_str());
    if (path != "/") path += '/';
    return path + kProxyProgram;
}

std::string ProxyLogPath() {
    std::string state;
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg && *xdg == '/') {
        state = xdg;
    } else {
        const char* home = std::getenv("HOME");
        state = std::string(home && *home ? home : "/tmp") + "/.local/state";
    }
    return state + "/vantlow/harbord.log";
}

bool StartProxyProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::string& logPath) {
    if (::access(program.c_str(), X_OK) != 0) return false;
    if (!MakeDirectories(DirectoryOf(logPath))) return false;

    // Everything the children need is made before fork: after it, a child
    // of a threaded process may only make async-signal-safe calls.
    std::string directory = DirectoryOf(program);
    std::vector<std::string> words;
    words.push_back(program);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    rlimit limit{};
    int maxFd = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? int(limit.rlim_cur) : 65536;

    // The grandchild reports a failed exec through the pipe; a successful
    // exec closes it without a word.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) < 0) return false;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        pid_t grandchild = ::fork();
        if (grandchild == 0) ExecDetached(directory.c_str(), logPath.c_str(), argv.data(), report[1], maxFd);
        if (grandchild < 0) {
            int error = errno;
            WriteAll(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    do
        n = ::read(report[0], &error, sizeof error);
    while (n < 0 && errno == EINTR);
    ::close(report[0]);
    return n == 0;
}

bool ProxyListening(const ProxyAddress& proxy) {
    InterNetClient client(Str(proxy.host.c_str()), proxy.port);
    bool listening = !client.failed();
    if (!listening) fail_take();
    return listening;
}

ProbeResult ProxyProbe(const ProxyAddress& proxy, const std::function<void(const std::string&)>& status) {
    if (!IsLocalHost(proxy.host)) return ProbeResult::NotLocal;
    status(loader_text::kCheckingProxy);
    if (ProxyListening(proxy)) {
        status(std::string());
        return ProbeResult::Running;
    }
    std::string program = ProxyProgramPath();
    // A proxy asked for at another port than its default is started there.
    std::vector<std::string> args;
    if (proxy.port != kDefaultProxyPort) args = {"-port", std::to_string(proxy.port)};
    if (program.empty() || !StartProxyProgram(program, args, ProxyLogPath())) {
        status(loader_text::kProxyNotStarted);
        return ProbeResult::NotStarted;
    }
    status(std::string());
    return ProbeResult::Started;
}

std::string ProxyModeUrl(bool offline) {
    return std::string("http://") + kAdminHost + "/options?offline=" + (offline ? "1" : "0");
}

ProxyMode ProxyModeOfPage(const std::string& page) {
    static const char kOffline[] = "<input name=\"offline\" type=radio value=1 checked>";
    static const char kOnline[] = "<input name=\"offline\" type=radio value=0 checked>";
    const bool offline = page.find(kOffline) != std::string::npos;
    const bool online = page.find(kOnline) != std::string::npos;
    if (offline == online) return ProxyMode::Unknown;
    return offline ? ProxyMode::Offline : ProxyMode::Online;
}

ProxyMode ReadProxyMode(const ProxyAddress& proxy, const FetchWaits& waits) {
    FetchedAnswer answer;
    if (!get_url("GET", std::string("http://") + kAdminHost + "/options", answer, proxy, waits))
        return ProxyMode::Unknown;
    return ProxyModeOfPage(answer.body);
}

std::string ProxyTokenOfPage(const std::string& page) {
    static const char kField[] = "<input type=hidden name=\"token\" value=\"";
    size_t at = page.find(kField);
    if (at == std::string::npos) return std::string();
    at += sizeof kField - 1;
    size_t end = page.find('"', at);
    if (end == std::string::npos) return std::string();
    std::string token = page.substr(at, end - at);
    if (token.empty() || token.find_first_not_of("0123456789abcdef") != std::string::npos) return std::string();
    return token;
}

// Without the token the proxy answers with a page that asks to confirm and
// holds the token in its form; the switch is then asked for again with it.
int SwitchProxyMode(const ProxyAddress& proxy, bool offline, const FetchWaits& waits) {
    FetchedAnswer answer;
    if (!get_url("GET", ProxyModeUrl(offline), answer, proxy, waits)) return 0;
    std::string token = ProxyTokenOfPage(answer.body);
    if (token.empty()) return 1;
    FetchedAnswer confirmed;
    return get_url("GET", ProxyModeUrl(offline) + "&token=" + token, confirmed, proxy, waits);
}
