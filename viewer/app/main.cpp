// vantlow: the windowed program; the load job without a window
// (`vantlow --load ...`); pictures of graph files (`vantlow --render ...`).
#include "viewer/app/jobs/LoadJobsStart.h"
#include "viewer/gui/VantlowMain.h"
#include "viewer/loader/HeadlessLoad.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <thread>

namespace {

// SIGINT, SIGTERM and SIGHUP ask the job to stop. They are blocked in every
// thread and taken by one watcher, so no handler runs inside the job.
class StopSignals {
public:
    explicit StopSignals(std::atomic<bool>& stop) : stop_(stop) {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
        watcher_ = std::thread([this] { Watch(); });
    }
    ~StopSignals() {
        done_ = true;
        watcher_.join();
    }

private:
    void Watch() {
        const timespec pause{0, 100 * 1000 * 1000};
        while (!done_.load()) {
            int signal = sigtimedwait(&set_, nullptr, &pause);
            if (signal > 0) stop_ = true;
        }
    }

    std::atomic<bool>& stop_;
    std::atomic<bool> done_{false};
    sigset_t set_;
    std::thread watcher_;
};

// The load job runs without a window; so does its help text.
bool WantsLoadJob(int argc, char* argv[]) {
    for (int i = 1; i < argc; i++)
        if (!std::strcmp(argv[i], "--load") || !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            return true;
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc >= 2 && !std::strcmp(argv[1], "--render")) return RunVantlowRender(argc, argv);
    if (!WantsLoadJob(argc, argv)) return RunVantlowGui(argc, argv, StartLoadJobs);
    HeadlessOptions options;
    std::string error;
    switch (ParseLoadArguments(argc - 1, argv + 1, options, error)) {
    case ParseOutcome::Help:
        PrintLoadUsage(stdout);
        return kExitDone;
    case ParseOutcome::Error:
        std::fprintf(stderr, "vantlow: %s\n", error.c_str());
        std::fprintf(stderr, "See 'vantlow --help'.\n");
        return kExitUsage;
    case ParseOutcome::Run:
        break;
    }
    std::atomic<bool> stop{false};
    StopSignals signals(stop);
    return RunHeadlessLoad(options, stop, stderr, stdout);
}
