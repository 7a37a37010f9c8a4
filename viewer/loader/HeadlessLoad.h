// The load job without a window, for servers, cron and tests:
//
//   vantlow --load URL --output FILE.gra [--levels N | --unlimited-levels]
//           [--other-levels N] [--follow-other-hosts] [--stay-in-directory]
//           [--pictures] [--offline] [--proxy HOST:PORT | --direct]
//           [--timeout SECONDS] [--max-time SECONDS] [--max-documents N] [--list]
//
// It probes the proxy (starting it when nothing listens), switches its mode,
// crawls on a worker thread, puts the proxy back into the mode it found (the
// proxy is shared: other users must not be left offline), lays the graph out
// and writes the graph file.
// Progress goes to standard error, one line per event, then a summary.
#pragma once

#include "viewer/loader/LoadProgress.h"
#include "viewer/loader/LoadSettings.h"
#include "viewer/loader/ProxyAddress.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

struct HeadlessOptions {
    LoadSettings settings;
    std::string output;
    ProxyAddress proxy = DefaultProxy();
    bool direct = false;     // no proxy: fetch from the servers themselves
    bool listNodes = false;  // print every node to standard output
};

enum class ParseOutcome { Run, Help, Error };

// Parses the arguments after the program name. On Error, `error` says why.
ParseOutcome ParseLoadArguments(int argc, const char* const argv[], HeadlessOptions& options, std::string& error);

void PrintLoadUsage(std::FILE* out);

// Exit codes of the load job.
constexpr int kExitDone = 0;
constexpr int kExitProblems = 1;  // problems, a stop on request, or no graph file
constexpr int kExitUsage = 2;

// Runs the job. The stop flag may be set from another thread (a signal
// watcher); the job then ends within one network wait and still writes
// what it has.
int RunHeadlessLoad(const HeadlessOptions& options, const std::atomic<bool>& stop, std::FILE* err,
                    std::FILE* out);

// Prints each progress event as one line.
class PrintedProgress : public LoadProgress {
public:
    PrintedProgress(std::FILE* out, const std::atomic<bool>& stop) : out_(out), stop_(stop) {}

    void SetLine(int line, const std::string& text) override;
    void AddMessage(const std::string& text) override;
    void ItemsLeft(int count) override;
    void End() override;
    bool StopRequested() const override { return stop_.load(); }

    // A line of its own, e.g. a status text.
    void Print(const std::string& text);

private:
    std::mutex mutex_;
    std::FILE* out_;
    const std::atomic<bool>& stop_;
};
