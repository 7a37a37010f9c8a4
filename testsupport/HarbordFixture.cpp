#include "testsupport/HarbordFixture.h"

#include "testsupport/ChildProcess.h"
#include "testsupport/Loopback.h"
#include "tests/foundation/MemoryStream.h"

#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "foundation/Str.h"
#include "http/URLAnswer.h"
#include "proxy/cache/CacheEntry.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#ifndef HARBORD_PATH
#error "HARBORD_PATH must name the harbord binary"
#endif

namespace e2e {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int START_TIMEOUT_MS = 20000;
constexpr int STOP_TIMEOUT_MS = 20000;

} // namespace

uint16_t free_port() {
    uint16_t port = 0;
    ::close(listen_on_loopback(port));
    return port;
}

CommandResult run_command(const std::vector<std::string>& argv, int timeout_ms,
                          const std::string& cwd) {
    CommandResult result;
    ChildProcess child(argv, cwd);
    if (!child.started()) return result;
    result.status = child.wait(std::chrono::milliseconds(timeout_ms));
    result.out = child.out();
    result.err = child.err();
    return result; // a program still running is killed with the child object
}

bool program_exists(const std::string& name) {
    return run_command({"sh", "-c", "command -v " + name}).status == 0;
}

std::string HttpResult::header(const std::string& name) const {
    return header_value(head, name);
}

HttpResult parse_http(const std::string& raw) {
    HttpResult result;
    result.raw = raw;
    size_t end = raw.find("\r\n\r\n");
    result.head = raw.substr(0, end);
    result.body = end == std::string::npos ? "" : raw.substr(end + 4);
    if (raw.compare(0, 5, "HTTP/") == 0) {
        size_t blank = raw.find(' ');
        if (blank != std::string::npos) {
            result.status = std::atoi(raw.c_str() + blank + 1);
            result.answered = result.status > 0;
        }
    }
    return result;
}

int connect_loopback(uint16_t port, bool nonblocking, const std::string& from) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonblocking ? SOCK_NONBLOCK : 0), 0);
    if (fd < 0) return -1;
    sockaddr_in address{}; // first the source, if one is given, then the target
    address.sin_family = AF_INET;
    bool bound = from.empty() || (::inet_pton(AF_INET, from.c_str(), &address.sin_addr) == 1 &&
                                  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!bound || (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0 &&
                   !(nonblocking && errno == EINPROGRESS))) {
        ::close(fd);
        return -1;
    }
    if (nonblocking) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

namespace {

// How many answers from the start of text are whole and kept alive.
size_t kept_answers(const std::string& text, bool head_only) {
    size_t count = 0, from = 0;
    for (;;) {
        size_t head_end = text.find("\r\n\r\n", from);
        if (head_end == std::string::npos) return count;
        HttpResult head = parse_http(text.substr(from, head_end + 4 - from));
        std::string connection = head.header("Connection"), length = head.header("Content-Length");
        if (connection != "keep-alive" && connection != "Keep-Alive") return count;
        size_t end = head_end + 4 + (head_only || head.status == 304 || length.empty() ? 0 : std::stoul(length));
        if (end > text.size()) return count;
        count++;
        from = end;
    }
}

} // namespace

std::string receive_all(int fd, int timeout_ms, size_t kept, bool head_only) {
    std::string answer;
    char buffer[65536];
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (kept == 0 || kept_answers(answer, head_only) < kept) {
        pollfd p{fd, POLLIN, 0};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        int n = ::poll(&p, 1, int(std::max<long long>(left.count(), 0)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        answer.append(buffer, size_t(got));
    }
    return answer;
}

std::string exchange(uint16_t port, const std::string& bytes, int timeout_ms,
                     const std::string& from) {
    int fd = connect_loopback(port, false, from);
    if (fd < 0) return "";
    send_all(fd, bytes.data(), bytes.size());
    std::string answer = receive_all(fd, timeout_ms, 1, bytes.starts_with("HEAD "));
    ::close(fd);
    return answer;
}

std::string proxy_request(const std::string& method, const std::string& url,
                          const std::vector<std::string>& headers, const std::string& body) {
    std::string text = method + " " + url + " HTTP/1.0\r\n";
    for (const std::string& h : headers)
        text += h + "\r\n";
    if (!body.empty()) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return text + "\r\n" + body;
}

CacheFile read_cache_file(const std::string& path) {
    CacheFile file;
    file.path = path;
    MemoryReadable bytes(read_file(path));
    BinarySource source(bytes);
    URLAnswer answer;
    Str url;
    source >> answer;
    if (!source.error()) source >> url;
    if (source.error() || answer.invalid) {
        fail_take();
        return file;
    }
    file.valid = true;
    file.status = answer.errorcode;
    file.content_length = answer.content_length;
    file.last_modified =
        answer.last_modified.specified() ? answer.last_modified.to_Str().c_str() : "";
    file.url.assign(url.data(), url.length());
    file.body = bytes.bytes.substr(bytes.position);
    return file;
}

bool eventually(const std::function<bool()>& condition, int timeout_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (condition()) return true;
        if (Clock::now() > deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// ---- Harbord ----

Harbord::Harbord(const std::vector<std::string>& options) {
    cachedir_ = dir_.file("cache");
    ::mkdir(cachedir_.c_str(), 0755);
    std::error_code error;
    fs::copy_file(HARBORD_PATH, program(), error);
    ::chmod(program().c_str(), 0755);
    // A copy of the build tree's program keeps the build tree's layout.
    write_file(dir_.file(".quaylo-build-tree"), "");
    // The help folders lie beside the binary.
    for (const char* help : {"help_e", "help_d", "help_nl"}) {
        fs::path from = fs::path(HARBORD_PATH).parent_path() / help;
        if (fs::exists(from)) fs::copy(from, dir_.file(help), fs::copy_options::recursive, error);
    }
    port_ = free_port();
    iport_ = free_port();
    start(options);
}

Harbord::~Harbord() {
    if (running() && stop() < 0) kill9();
}

bool Harbord::start(const std::vector<std::string>& options) {
    if (running()) return true;
    std::vector<std::string> args = {
        program(),   "-port",  std::to_string(port_), "-iport", std::to_string(iport_),
        "-cachedir", cachedir_};
    if (std::find(options.begin(), options.end(), "-timeout") == options.end())
        args.insert(args.end(), {"-timeout", "10"});
    args.insert(args.end(), options.begin(), options.end());

    // A restart appends to the same log: only what this run writes counts.
    size_t log_start = log().size();
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir().c_str()) != 0) ::_exit(126);
        int log = ::open("harbord.log", O_WRONLY | O_CREAT | O_APPEND, 0644);
        int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, 0);
        ::dup2(log, 1);
        ::dup2(log, 2);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0) return false;
    pid_ = pid;
    // Ready once the log says so, in any of the three languages. A probe
    // connection would cost a worker, which matters with maxcon 1.
    bool ready = eventually(
        [&] {
            int status = 0;
            if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
            std::string text = log().substr(log_start);
            return pid_ < 0 || text.find("ready.\n") != std::string::npos ||
                   text.find("fertig.\n") != std::string::npos ||
                   text.find("klaar.\n") != std::string::npos;
        },
        START_TIMEOUT_MS);
    return ready && running();
}

int Harbord::stop() {
    if (!running()) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    if (!eventually([&] { return ::waitpid(pid_, &status, WNOHANG) != 0; }, STOP_TIMEOUT_MS)) {
        kill9();
        return -1;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Harbord::kill9() {
    if (!running()) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string Harbord::log() const {
    return read_file(dir_.file("harbord.log"));
}

HttpResult Harbord::send(const std::string& request, int timeout_ms) const {
    return parse_http(exchange(port_, request, timeout_ms));
}

HttpResult Harbord::get(const std::string& url, const std::vector<std::string>& headers) const {
    return send(proxy_request("GET", url, headers));
}

HttpResult Harbord::get_from(const std::string& from, const std::string& url,
                            const std::vector<std::string>& headers) const {
    return parse_http(exchange(port_, proxy_request("GET", url, headers), 30000, from));
}

HttpResult Harbord::curl(const std::string& url, const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {"curl", "-s", "-i", "--max-time", "30", "-x", proxy()};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(url);
    return parse_http(run_command(argv).out);
}

std::string Harbord::token() const {
    return read_file(dir_.file("harbord.token"));
}

bool Harbord::set_offline(bool offline) const {
    HttpResult r = get(std::string("http://quaylo/options?offline=") + (offline ? "1" : "0") +
                       "&token=" + token());
    return r.status == 200;
}

std::vector<CacheFile> Harbord::cache_files() const {
    std::vector<CacheFile> files;
    std::error_code gone;
    for (const auto& entry : fs::directory_iterator(cachedir_, gone)) {
        uint32_t id = 0;
        if (!parse_cache_file_name(Str(entry.path().filename().c_str()), id)) continue;
        files.push_back(read_cache_file(entry.path()));
        files.back().id = id;
    }
    return files;
}

std::vector<CacheFile> Harbord::cache_files_for(const std::string& url) const {
    std::vector<CacheFile> found;
    for (const CacheFile& f : cache_files())
        if (f.url == url) found.push_back(f);
    return found;
}

CacheFile Harbord::stored(const std::string& url, int timeout_ms) const {
    std::vector<CacheFile> files;
    eventually([&] { return (files = cache_files_for(url)).size() == 1; }, timeout_ms);
    return files.size() == 1 ? files[0] : CacheFile{};
}

long long unfinished_bytes(const std::string& cachedir) {
    long long largest = -1;
    std::error_code gone;
    for (const auto& file : std::filesystem::directory_iterator(cachedir, gone))
        if (file.path().extension() == ".part")
            largest = std::max<long long>(largest, (long long)file.file_size(gone));
    return largest;
}

std::string check_cachedb(const std::string& cachedir, size_t* entries) {
    std::string path = cachedir + "/cachedb";
    if (!fs::exists(path)) return "no cachedb";
    MemoryReadable bytes(read_file(path));
    BinarySource source(bytes);
    uint32_t magic = 0;
    int32_t count = -1;
    source >> magic >> count;
    if (source.error() || magic != 0x43444203 || count < 0) {
        if (fail_pending()) fail_take();
        return "bad cachedb start";
    }
    std::string problem;
    for (int32_t i = 0; i < count && problem.empty(); i++) {
        CacheEntry entry;
        source >> entry;
        std::string url(entry.url.data(), entry.url.length());
        CacheFile file = read_cache_file(cachedir + "/" + std::to_string(entry.id));
        if (source.error())
            problem = "unreadable record " + std::to_string(i);
        else if (!file.valid)
            problem = "record of " + url + ": file " + std::to_string(entry.id) + " unreadable";
        else if (file.url != url)
            problem = "record of " + url + ": file holds " + file.url;
        else if (file.body.size() != entry.bytes)
            problem = "record of " + url + ": " + std::to_string(entry.bytes) +
                      " bytes recorded, " + std::to_string(file.body.size()) + " in the file";
        else if (file.content_length != 0 && file.body.size() != 0 &&
                 file.body.size() < file.content_length)
            problem = "record of " + url + ": body shorter than its Content-Length";
    }
    if (fail_pending()) fail_take();
    if (entries) *entries = size_t(count);
    return problem;
}

} // namespace e2e
