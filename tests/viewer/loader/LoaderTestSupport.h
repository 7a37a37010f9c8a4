// Helpers shared by the loader suites: temporary directories, a port nobody
// listens on, and a progress sink that records what a job tells.
#pragma once

#include "foundation/Fail.h"
#include "viewer/loader/LoadProgress.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

class LoaderTempDir {
public:
    LoaderTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "viewer-loader-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~LoaderTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    LoaderTempDir(const LoaderTempDir&) = delete;
    LoaderTempDir& operator=(const LoaderTempDir&) = delete;

    std::string Path() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A loopback port that was free a moment ago and has no listener.
inline uint16_t UnusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// The pending failure report, taken (empty when there is none).
inline std::string TakeReport() {
    return fail_pending() ? std::string(fail_take()) : std::string();
}

// A host name the resolver rejects without asking any name server.
constexpr char kUnresolvableHost[] = "no..such.host";

class RecordingProgress : public LoadProgress {
public:
    void SetLine(int line, const std::string& text) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (line < 0 || line >= kLines) {
            badLines++;
            return;
        }
        if (!text.empty()) lines.push_back(text);
        occupied[line] = !text.empty();
        int inUse = 0;
        for (bool used : occupied) inUse += used ? 1 : 0;
        if (inUse > mostLinesInUse) mostLinesInUse = inUse;
    }
    void AddMessage(const std::string& text) override {
        std::lock_guard<std::mutex> guard(mutex_);
        messages.push_back(text);
    }
    void ItemsLeft(int count) override {
        std::lock_guard<std::mutex> guard(mutex_);
        left.push_back(count);
    }
    void End() override {
        std::lock_guard<std::mutex> guard(mutex_);
        ends++;
    }
    bool StopRequested() const override { return stop.load(); }

    std::vector<std::string> Messages() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return messages;
    }

    std::atomic<bool> stop{false};
    std::vector<std::string> lines;
    std::vector<std::string> messages;
    std::vector<int> left;
    int ends = 0;
    int badLines = 0;
    bool occupied[kLines] = {};
    int mostLinesInUse = 0;

private:
    mutable std::mutex mutex_;
};
