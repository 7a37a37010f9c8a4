// The body of one load job, run on the job's worker thread: dial when the
// settings say so, switch the proxy's mode, crawl, switch back and hang up,
// then finish the progress window. It reaches the window only through the
// window's posted updates and its stop request.
#pragma once

#include "viewer/app/dialup/DialSettings.h"
#include "viewer/app/jobs/JobRecord.h"
#include "viewer/loader/Crawler.h"
#include "viewer/loader/ProxyAddress.h"

#include <atomic>
#include <chrono>

class DialUp;
class ProgressWindow;

struct JobRun {
    // Everything below is set before the worker starts and not changed by
    // the GUI thread while it runs.
    JobRecord record;
    DialSettings dial;
    bool scheduled = false;
    Crawler* crawler = nullptr;
    ProxyAddress proxy;
    ProgressWindow* progress = nullptr;
    DialUp* dialer = nullptr;

    // Results, valid once `done` is set.
    std::atomic<bool> done{false};
    bool dialed = false;
    bool crawled = false;
    bool cancelled = false;
    LoadJobResult result;
};

// How often the worker looks whether the progress window is up.
constexpr std::chrono::milliseconds kProgressWindowPoll{30};

void RunJobBody(JobRun& run);
