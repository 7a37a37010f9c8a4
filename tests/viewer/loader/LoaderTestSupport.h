// What the loader suites need beside testsupport/: a port nobody listens on,
// the pending failure report, and a progress sink that records what a job
// tells; with them what every such suite includes.
#pragma once

#include "foundation/Fail.h"
#include "testsupport/OriginServer.h"
#include "testsupport/TempDir.h"
#include "viewer/loader/LoadProgress.h"
#include "viewer/loader/LoaderTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <thread>

// A loopback port that was listened on a moment ago and is closed now.
inline uint16_t ClosedPort() {
    return OriginServer().port();
}

// A host name the resolver rejects without asking any name server.
constexpr char kUnresolvableHost[] = "no..such.host";

inline std::string TakeReport() {
    return fail_pending() ? std::string(fail_take()) : std::string();
}

// A job calls it on the thread that runs the job; only `stop` comes from elsewhere.
class RecordingProgress : public LoadProgress {
public:
    void SetLine(int line, const std::string& text) override {
        if (line < 0 || line >= kLines) return void(ADD_FAILURE() << "progress line " << line);
        if (!text.empty()) lines.push_back(text);
        occupied[line] = !text.empty();
        mostLinesInUse = std::max(mostLinesInUse, static_cast<int>(std::count(occupied, occupied + kLines, true)));
    }
    void AddMessage(const std::string& text) override { messages.push_back(text); }
    void ItemsLeft(int count) override { left.push_back(count); }
    void ItemsDone(int count) override { done = count; }
    void End() override { ends++; }
    bool StopRequested() const override { return stop.load(); }

    std::atomic<bool> stop{false};
    std::vector<std::string> lines, messages;
    std::vector<int> left;
    int ends = 0, mostLinesInUse = 0, done = 0;
    bool occupied[kLines] = {};
};
