// Socks4Server: a small SOCKS version 4 server for tests. It listens on
// 127.0.0.1 at a free port and serves one connection at a time in a
// background thread. Every request gets the same answer; a granted request
// is connected on (to loopback targets only) and relayed both ways.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class Socks4Server {
public:
    static constexpr uint8_t GRANTED = 90;
    static constexpr uint8_t REJECTED = 91;
    static constexpr int ANSWER_SIZE = 8;

    // The answer carries reply_version and reply_code. With answer_bytes
    // below 8 only that many bytes are sent before the connection is closed.
    explicit Socks4Server(uint8_t reply_code = GRANTED, uint8_t reply_version = 0,
                          int answer_bytes = ANSWER_SIZE);
    // Stops serving and joins the thread.
    ~Socks4Server();
    Socks4Server(const Socks4Server&) = delete;
    Socks4Server& operator=(const Socks4Server&) = delete;

    bool listening() const { return thread_.joinable(); }
    uint16_t port() const { return port_; } // host byte order
    // The request bytes received on all connections so far.
    std::string received() const;

private:
    void run();
    void serve(int client);
    bool read_request(int client, uint16_t& port, uint32_t& address);
    void relay(int client, int upstream);
    void record(const char* bytes, size_t count);

    uint8_t reply_code_;
    uint8_t reply_version_;
    int answer_bytes_;
    int listener_ = -1;
    int wake_[2] = {-1, -1}; // written once to stop the thread
    uint16_t port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::string received_;
};
