// A harbord for tests: runs the real harbord binary from a copy in a fresh
// temporary folder (so its setup file lands there) on free loopback ports
// with a cache directory of its own, and talks to it as a browser would.
#pragma once

#include "testsupport/TempDir.h"

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace e2e {

// A port that was free a moment ago (bound to port 0 and released).
uint16_t free_port();

struct CommandResult {
    int status = -1; // exit code (128 + signal when killed), or -1 when it did not end in time
    std::string out; // standard output
    std::string err; // standard error
};
// Runs a program without a shell, in cwd when one is given.
CommandResult run_command(const std::vector<std::string>& argv, int timeout_ms = 60000,
                          const std::string& cwd = "");
bool program_exists(const std::string& name);

struct HttpResult {
    bool answered = false; // a status line arrived
    int status = 0;
    std::string head; // status line and header lines, without the empty line
    std::string body;
    std::string raw;

    // Value of the named header (name compared without case), "" if absent.
    std::string header(const std::string& name) const;
};
HttpResult parse_http(const std::string& raw);

// A connection to 127.0.0.1:port (non-blocking while it is being made, if
// asked), from the loopback address `from` when one is given; -1 when it
// failed at once.
int connect_loopback(uint16_t port, bool nonblocking = false, const std::string& from = "");
// Reads fd until the peer closes, for at most timeout_ms, or (kept > 0)
// until that many answers marked "Connection: keep-alive" are whole (their
// bodies as long as Content-Length says; none after a HEAD when head_only).
std::string receive_all(int fd, int timeout_ms = 30000, size_t kept = 0, bool head_only = false);
// Connects to 127.0.0.1:port, sends bytes, reads until the peer closes (at
// most timeout_ms) or its answer, kept alive, is whole. Returns what arrived.
std::string exchange(uint16_t port, const std::string& bytes, int timeout_ms = 30000,
                     const std::string& from = "");

// A plain proxy request with extra header lines (each without CR LF).
std::string proxy_request(const std::string& method, const std::string& url,
                          const std::vector<std::string>& headers = {},
                          const std::string& body = "");

// One cache file as stored: the answer head, the URL and the body.
struct CacheFile {
    uint32_t id = 0;
    std::string path;
    bool valid = false; // head and URL could be read
    int status = 0;
    uint32_t content_length = 0;
    std::string last_modified;
    std::string url;
    std::string body;
};
CacheFile read_cache_file(const std::string& path);

class Harbord {
public:
    // Starts harbord with -port, -iport, -cachedir, -timeout (10 unless given)
    // and the extra options, e.g. {"-updtime", "0"}.
    explicit Harbord(const std::vector<std::string>& options = {});
    ~Harbord();
    Harbord(const Harbord&) = delete;
    Harbord& operator=(const Harbord&) = delete;

    // (Re)starts in the same folder with the same ports and cache.
    bool start(const std::vector<std::string>& options = {});
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // SIGTERM and a bounded wait; the exit code, or -1.
    int stop();
    // SIGKILL: no cachedb is written.
    void kill9();

    uint16_t port() const { return port_; }
    uint16_t iport() const { return iport_; }
    std::string proxy() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string& dir() const { return dir_.path(); }
    const std::string& cachedir() const { return cachedir_; }
    // The copy of the binary that runs.
    std::string program() const { return dir_.file("harbord"); }
    std::string log() const;

    HttpResult send(const std::string& request, int timeout_ms = 30000) const;
    HttpResult get(const std::string& url, const std::vector<std::string>& headers = {}) const;
    // The same sent from another loopback address, e.g. "127.0.0.2".
    HttpResult get_from(const std::string& from, const std::string& url,
                        const std::vector<std::string>& headers = {}) const;
    // curl -s -i -x <proxy> [args] url
    HttpResult curl(const std::string& url, const std::vector<std::string>& args = {}) const;
    // Switches offline mode through the admin page with the admin token.
    bool set_offline(bool offline) const;
    // The admin token harbord keeps beside its program ("" before its start).
    std::string token() const;

    // Cache files in the cache directory (numbered files only).
    std::vector<CacheFile> cache_files() const;
    // Cache files holding url.
    std::vector<CacheFile> cache_files_for(const std::string& url) const;
    // The one cache file holding url, once there is exactly one (waits at
    // most timeout_ms); not valid when there is none.
    CacheFile stored(const std::string& url, int timeout_ms = 10000) const;

private:
    TempDir dir_{"harbord-e2e"};
    std::string cachedir_;
    uint16_t port_ = 0;
    uint16_t iport_ = 0;
    pid_t pid_ = -1;
};

// Checks the cachedb written at a normal end: magic number, records whose
// files exist and hold their URL and byte count. Empty string when sound,
// else the first problem found.
std::string check_cachedb(const std::string& cachedir, size_t* entries = nullptr);

// The size of the largest file in cachedir still being written (a ".part"
// file), -1 when there is none.
long long unfinished_bytes(const std::string& cachedir);

// Polls condition every 20 ms for at most timeout_ms; its last result.
bool eventually(const std::function<bool()>& condition, int timeout_ms = 10000);

// The whole file: the name it has had here before.
inline constexpr auto* read_text_file = &::read_file;

} // namespace e2e
