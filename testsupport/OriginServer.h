// OriginServer: a small HTTP/1.0 origin server for tests and demos. It listens
// on 127.0.0.1 at a free port, serves every connection on a thread of its own
// and closes each connection after one answer, as an HTTP/1.0 server does
// (unless keep-alive mode is on).
//
// It answers from scripted answers (set()) and, for paths without one, from
// the files of a directory. File answers carry Content-Length, Content-Type
// and Last-Modified (the file's modification time), and an If-Modified-Since
// that is not older than the file gets "304 Not Modified".
//
// Scripted answers can misbehave on purpose: wait before answering, dribble,
// leave out Content-Length, cut the body short (closing or resetting), or
// send any raw bytes (garbage, oversized heads).
//
// Every request is logged with its complete head, so tests can check what a
// proxy forwarded (If-Modified-Since, Host, ...). All public methods are
// thread-safe; the destructor stops the server and joins every thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class OriginServer {
public:
    static constexpr size_t NO_CUT = size_t(-1);
    static constexpr size_t ENDLESS = size_t(-1);

    struct Answer {
        int status = 200;
        std::string reason = "OK";
        std::string content_type = "text/html";
        std::vector<std::string> headers; // further header lines, without CR LF
        std::string body;
        bool send_content_length = true;
        // Seconds since 1970; 0 = no Last-Modified. When set, a request whose
        // If-Modified-Since is not older gets 304 without a body.
        time_t last_modified = 0;
        int delay_ms = 0;          // before anything is sent
        bool held = false;         // nothing is sent before release_held()
        // Filler bytes sent after the body (not counted in Content-Length);
        // ENDLESS keeps sending until the client goes away or the server stops.
        size_t filler_bytes = 0;
        size_t dribble_bytes = 0;  // > 0: send in pieces of this size ...
        int dribble_ms = 0;        // ... with this pause between them
        size_t cut_after = NO_CUT; // close after this many body bytes
        bool reset = false;        // end with a reset instead of a normal close
        bool raw_only = false;     // send `raw` as it is instead of an answer
        std::string raw;
    };

    struct Request {
        std::string method;
        std::string target; // as received
        std::string path;   // origin-form path and query
        std::string head;   // request line and header lines, up to the empty line
        std::string body;

        // Value of the named header (name compared without case), "" if absent.
        std::string header(const std::string& name) const;
        bool has_header(const std::string& name) const;
    };

    // Makes the answer for a request no scripted answer fits; false: none.
    using Handler = std::function<bool(const Request& request, Answer& answer)>;

    // Scripted answers only.
    OriginServer();
    // Serves the files below directory (no "..", no hidden escape).
    explicit OriginServer(const std::string& directory);
    ~OriginServer();
    OriginServer(const OriginServer&) = delete;
    OriginServer& operator=(const OriginServer&) = delete;

    // Stops listening (later connections are refused), interrupts every
    // waiting answer and joins all threads.
    void stop();

    bool listening() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" + path.
    std::string url(const std::string& path) const;

    // path is the origin-form path with its query, e.g. "/a?x=1".
    void set(const std::string& path, const Answer& answer);
    void remove(const std::string& path);
    // Answers made on the fly (endless redirect chains, generated pages).
    void set_handler(Handler handler);

    // Convenience answers.
    static Answer document(const std::string& body, const std::string& content_type = "text/html",
                           time_t last_modified = 0);
    static Answer redirect(const std::string& location, int status = 302);
    static Answer status(int status, const std::string& reason);
    static Answer raw(const std::string& bytes);
    // size bytes in which no shifted piece matches another.
    static std::string pattern(size_t size);

    // Keep-alive mode, off by default: a request with Proxy-Connection:
    // keep-alive gets "Connection: keep-alive" and the connection waits for
    // the next request. Raw, cut, reset and filler answers and those without
    // Content-Length still end it.
    void set_keep_alive(bool on) { keep_alive_ = on; }

    // Lets every held answer go, now and later.
    void release_held();

    std::vector<Request> requests() const;
    size_t request_count() const;
    size_t request_count(const std::string& path) const;
    void clear_log();
    // Waits at most timeout_ms until at least count requests were logged.
    bool wait_for_requests(size_t count, int timeout_ms) const;
    // Connections accepted so far (also those that never sent a request).
    size_t connection_count() const;

    // An HTTP date (RFC 1123) of the given time.
    static std::string http_date(time_t when);

private:
    struct Connection {
        std::thread thread;
        bool done = false;
    };

    void open_listener();
    void run();
    void serve(int client, Connection* self);
    bool read_request(int client, Request& request);
    bool answer_from_directory(const Request& request, Answer& answer) const;
    void send_answer(int client, const Request& request, const Answer& answer, bool keep_open);
    bool send_paced(int client, const char* bytes, size_t count, const Answer& answer);
    void send_filler(int client, const Answer& answer);
    // Sleeps, but returns false at once when the server stops.
    bool pause(int ms) const;
    // Waits for release_held(); false when the server stops first.
    bool wait_released() const;
    bool wait_readable(int fd, int timeout_ms) const;
    void reap_finished();

    std::string directory_;
    int listener_ = -1;
    int wake_[2] = {-1, -1}; // written once at stop; stays readable
    uint16_t port_ = 0;
    std::thread acceptor_;

    mutable std::mutex mutex_;
    mutable std::condition_variable logged_;
    mutable std::condition_variable released_;
    bool held_released_ = false;
    std::map<std::string, Answer> answers_;
    Handler handler_;
    std::vector<Request> log_;
    size_t connections_ = 0;
    std::list<Connection> workers_;
    bool stopping_ = false;
    std::atomic<bool> keep_alive_{false};
};
