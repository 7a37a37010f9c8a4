// vantlow: for now the headless load job (`vantlow --load ...`); the
// windowed program is not part of this build yet.
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

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "vantlow: the windowed program is not part of this build yet; "
                             "see 'vantlow --help' for the load job without a window.\n");
        return 2;
    }
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
