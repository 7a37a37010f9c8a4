#include "testsupport/OriginServer.h"

#include "testsupport/Loopback.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/stat.h>

namespace {

constexpr size_t HEAD_LIMIT = 65536;
constexpr size_t BODY_LIMIT = 1 << 20;
constexpr int REQUEST_TIMEOUT_MS = 10000;
constexpr int LISTEN_BACKLOG = 128;

const char* const WEEKDAYS[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// RFC 1123 only: that is what the proxy writes.
bool parse_http_date(const std::string& text, time_t& when) {
    tm parts{};
    if (!::strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S", &parts)) return false;
    when = ::timegm(&parts);
    return true;
}

std::string content_type_of(const std::string& path) {
    static const std::pair<const char*, const char*> TYPES[] = {
        {".html", "text/html"}, {".htm", "text/html"},  {".txt", "text/plain"},
        {".css", "text/css"},   {".js", "application/javascript"}, {".png", "image/png"},
        {".gif", "image/gif"},  {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"},
        {".svg", "image/svg+xml"}};
    for (auto [ext, type] : TYPES)
        if (path.size() > std::strlen(ext) &&
            ::strcasecmp(path.c_str() + path.size() - std::strlen(ext), ext) == 0)
            return type;
    return "application/octet-stream";
}

} // namespace

// ---- requests ----

std::string OriginServer::Request::header(const std::string& name) const {
    return header_value(head, name);
}

bool OriginServer::Request::has_header(const std::string& name) const {
    return ::strcasestr(head.c_str(), ("\n" + name + ":").c_str()) != nullptr;
}

// ---- life ----

OriginServer::OriginServer() { open_listener(); }

OriginServer::OriginServer(const std::string& directory) : directory_(directory) {
    open_listener();
}

OriginServer::~OriginServer() {
    stop();
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void OriginServer::open_listener() {
    uint16_t port = 0;
    if (::pipe2(wake_, O_CLOEXEC) < 0 || (listener_ = listen_on_loopback(port, LISTEN_BACKLOG)) < 0)
        return;
    port_ = port;
    acceptor_ = std::thread([this] { run(); });
}

void OriginServer::stop() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (stopping_) return;
        stopping_ = true;
    }
    released_.notify_all();
    if (wake_[1] >= 0) {
        char stop = 1;
        while (::write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
        }
    }
    if (acceptor_.joinable()) acceptor_.join();
    // A stopped server refuses connections instead of leaving them queued.
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
    // No new connections now (only the acceptor changed the list); the running ones see the wake pipe.
    for (Connection& c : workers_)
        if (c.thread.joinable()) c.thread.join();
}

std::string OriginServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

// ---- script and log ----

void OriginServer::set(const std::string& path, const Answer& answer) {
    std::lock_guard<std::mutex> guard(mutex_);
    answers_[path] = answer;
}

void OriginServer::remove(const std::string& path) {
    std::lock_guard<std::mutex> guard(mutex_);
    answers_.erase(path);
}

OriginServer::Answer OriginServer::document(const std::string& body,
                                            const std::string& content_type,
                                            time_t last_modified) {
    Answer answer;
    answer.body = body;
    answer.content_type = content_type;
    answer.last_modified = last_modified;
    return answer;
}

OriginServer::Answer OriginServer::redirect(const std::string& location, int status) {
    Answer answer = OriginServer::status(status, status == 301 ? "Moved Permanently" : "Found");
    answer.headers.push_back("Location: " + location);
    answer.body = "<HTML><BODY>moved</BODY></HTML>\n";
    return answer;
}

OriginServer::Answer OriginServer::status(int status, const std::string& reason) {
    Answer answer;
    answer.status = status;
    answer.reason = reason;
    answer.body = "<HTML><BODY>" + std::to_string(status) + " " + reason + "</BODY></HTML>\n";
    return answer;
}

std::string OriginServer::pattern(size_t size) {
    std::string bytes;
    for (uint32_t state = uint32_t(size); bytes.size() < size;)
        bytes += char((state = state * 214013 + 2531011) >> 16);
    return bytes;
}

OriginServer::Answer OriginServer::raw(const std::string& bytes) {
    Answer answer;
    answer.raw_only = true;
    answer.raw = bytes;
    return answer;
}

std::vector<OriginServer::Request> OriginServer::requests() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return log_;
}

size_t OriginServer::request_count() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return log_.size();
}

size_t OriginServer::request_count(const std::string& path) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return std::count_if(log_.begin(), log_.end(), [&](const Request& r) { return r.path == path; });
}

void OriginServer::clear_log() {
    std::lock_guard<std::mutex> guard(mutex_);
    log_.clear();
}

bool OriginServer::wait_for_requests(size_t count, int timeout_ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return logged_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return log_.size() >= count; });
}

size_t OriginServer::connection_count() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return connections_;
}

std::string OriginServer::http_date(time_t when) {
    tm parts{};
    ::gmtime_r(&when, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d GMT", WEEKDAYS[parts.tm_wday],
                  parts.tm_mday, MONTHS[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour,
                  parts.tm_min, parts.tm_sec);
    return text;
}

// ---- serving ----

bool OriginServer::wait_readable(int fd, int timeout_ms) const {
    return readable_unless_woken(fd, wake_[0], timeout_ms);
}

bool OriginServer::pause(int ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return !released_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void OriginServer::set_handler(Handler handler) {
    std::lock_guard<std::mutex> guard(mutex_);
    handler_ = std::move(handler);
}

void OriginServer::release_held() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        held_released_ = true;
    }
    released_.notify_all();
}

bool OriginServer::wait_released() const {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [this] { return held_released_ || stopping_; });
    return !stopping_;
}

// A finished thread let go of the mutex for good, so it is joined under it.
void OriginServer::reap_finished() {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();)
        it = it->done ? (it->thread.join(), workers_.erase(it)) : std::next(it);
}

void OriginServer::run() {
    while (wait_readable(listener_, -1)) {
        int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        reap_finished();
        std::lock_guard<std::mutex> guard(mutex_);
        connections_++;
        workers_.emplace_back();
        Connection* self = &workers_.back();
        self->thread = std::thread([this, client, self] { serve(client, self); });
    }
}

void OriginServer::serve(int client, Connection* self) {
    Request request;
    bool kept = true;  // open for a request
    while (kept && read_request(client, request)) {
        Answer answer;
        bool found = false;
        Handler handler;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            log_.push_back(request);
            auto it = answers_.find(request.path);
            if (it == answers_.end()) it = answers_.find(request.path.substr(0, request.path.find('?')));
            if ((found = it != answers_.end())) answer = it->second;
            handler = handler_;
        }
        logged_.notify_all();
        found = found || (handler && handler(request, answer));
        if (!found && !answer_from_directory(request, answer))
            answer = status(404, "Not Found");
        kept = keep_alive_ && ::strcasecmp(request.header("Proxy-Connection").c_str(), "keep-alive") == 0 &&
               !answer.raw_only && !answer.reset && answer.cut_after == NO_CUT && answer.filler_bytes == 0 &&
               answer.send_content_length;
        send_answer(client, request, answer, kept);
    }
    if (kept) ::shutdown(client, SHUT_RDWR);  // no (further) request came
    ::close(client);
    std::lock_guard<std::mutex> guard(mutex_);
    self->done = true;
}

bool OriginServer::read_request(int client, Request& request) {
    std::string text;
    char buffer[16384];
    size_t head_end = std::string::npos;
    size_t body_start = 0;
    while (head_end == std::string::npos) {
        if (text.size() > HEAD_LIMIT || !wait_readable(client, REQUEST_TIMEOUT_MS)) return false;
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.append(buffer, size_t(n));
        if ((head_end = text.find("\r\n\r\n")) != std::string::npos)
            body_start = head_end + 4;
        else if ((head_end = text.find("\n\n")) != std::string::npos)
            body_start = head_end + 2;
    }
    request.head = text.substr(0, head_end);
    request.body = text.substr(body_start);

    std::string line = request.head.substr(0, request.head.find_first_of("\r\n"));
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? std::string::npos : line.find(' ', first + 1);
    request.method = line.substr(0, first);
    request.target = first == std::string::npos ? "" : line.substr(first + 1, second - first - 1);
    request.path = request.target;
    size_t scheme_end = request.path.find("://");  // absolute form, as proxies get it
    if (scheme_end != std::string::npos && scheme_end <= 5) {
        size_t slash = request.path.find('/', scheme_end + 3);
        request.path = slash == std::string::npos ? "/" : request.path.substr(slash);
    }

    std::string length = request.header("Content-Length");
    size_t wanted = length.empty() ? 0 : size_t(std::strtoul(length.c_str(), nullptr, 10));
    if (wanted > BODY_LIMIT) wanted = BODY_LIMIT;
    while (request.body.size() < wanted) {
        if (!wait_readable(client, REQUEST_TIMEOUT_MS)) break;
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        request.body.append(buffer, size_t(n));
    }
    // Whatever follows the announced length (a client's trailing line end)
    // is not part of the body.
    if (!length.empty() && request.body.size() > wanted) request.body.resize(wanted);
    return true;
}

bool OriginServer::answer_from_directory(const Request& request, Answer& answer) const {
    if (directory_.empty()) return false;
    std::string path = request.path.substr(0, request.path.find('?'));
    if (path.empty() || path[0] != '/' || path.find("..") != std::string::npos) return false;
    if (path.back() == '/') path += "index.html";
    std::string file = directory_ + path;
    struct stat info {};
    if (::stat(file.c_str(), &info) < 0 || !S_ISREG(info.st_mode)) return false;
    answer.body = read_file(file);
    answer.content_type = content_type_of(path);
    answer.last_modified = info.st_mtime;
    return true;
}

bool OriginServer::send_paced(int client, const char* bytes, size_t count, const Answer& answer) {
    size_t piece = answer.dribble_bytes > 0 ? answer.dribble_bytes : count;
    while (count > 0) {
        size_t n = piece < count ? piece : count;
        if (!send_all(client, bytes, n)) return false;
        bytes += n;
        count -= n;
        if (count > 0 && answer.dribble_bytes > 0 && !pause(answer.dribble_ms)) return false;
    }
    return true;
}

void OriginServer::send_filler(int client, const Answer& answer) {
    const std::string block(answer.dribble_bytes > 0 ? answer.dribble_bytes : 65536, 'x');
    size_t left = answer.filler_bytes;
    while (left > 0) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (stopping_) return;
        }
        size_t n = std::min(left, block.size());
        if (!send_paced(client, block.data(), n, answer)) return;
        if (answer.dribble_bytes > 0 && !pause(answer.dribble_ms)) return;
        if (left != ENDLESS) left -= n;
    }
}

void OriginServer::send_answer(int client, const Request& request, const Answer& answer, bool keep_open) {
    if (answer.held && !wait_released()) return;
    if (!pause(answer.delay_ms)) return;
    if (answer.raw_only) {
        send_paced(client, answer.raw.data(), answer.raw.size(), answer);
    } else {
        time_t since = 0;
        bool not_modified = answer.last_modified != 0 &&
                            parse_http_date(request.header("If-Modified-Since"), since) &&
                            answer.last_modified <= since;
        std::string head;
        if (not_modified) {
            head = "HTTP/1.0 304 Not Modified\r\n";
        } else {
            head = "HTTP/1.0 " + std::to_string(answer.status) + " " + answer.reason + "\r\n";
            if (!answer.content_type.empty()) head += "Content-Type: " + answer.content_type + "\r\n";
            if (answer.send_content_length)
                head += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
        }
        head += "Date: " + http_date(::time(nullptr)) + "\r\n";
        if (answer.last_modified != 0) head += "Last-Modified: " + http_date(answer.last_modified) + "\r\n";
        head += "Server: OriginServer\r\n";
        if (keep_open) head += "Connection: keep-alive\r\n";
        for (const std::string& line : answer.headers) head += line + "\r\n";
        head += "\r\n";

        bool with_body = !not_modified && request.method != "HEAD";
        std::string message = head + answer.body.substr(0, with_body ? answer.cut_after : 0);
        if (send_paced(client, message.data(), message.size(), answer) && with_body)
            send_filler(client, answer);
    }
    if (keep_open) return;
    if (answer.reset) {
        // Give the bytes sent a moment to leave: a reset discards what is unsent.
        pause(100);
        linger hard{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    } else {
        ::shutdown(client, SHUT_WR);
        // Let the peer read everything before the socket goes away.
        char sink[4096];
        while (wait_readable(client, 2000) && ::recv(client, sink, sizeof sink, 0) > 0) {
        }
    }
}
