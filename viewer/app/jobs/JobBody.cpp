#include "viewer/app/jobs/JobBody.h"

#include "viewer/app/dialup/DialUp.h"
#include "viewer/app/jobs/ProgressWindow.h"

#include "foundation/Fail.h"
#include "viewer/loader/CacheFit.h"
#include "viewer/loader/NodeInfo.h"
#include "viewer/loader/ProxyControl.h"

#include <thread>

namespace {

// Dial-up reports go to the progress window; failures also to its list, so
// the window stays open and says that something went wrong.
class ProgressDialObserver : public DialObserver {
public:
    explicit ProgressDialObserver(ProgressWindow& progress) : progress_(progress) {}

    void DialState(const std::string& text) override { progress_.SetLine(0, text); }
    void DialStatus(const std::string& text) override {
        progress_.PostStatus(text);
        progress_.AddMessage(text);
    }
    void DialError(const std::string& text) override {
        progress_.PostError(text);
        progress_.AddMessage(text);
    }
    bool DialStopRequested() const override { return progress_.StopRequested(); }

private:
    ProgressWindow& progress_;
};

void SwitchProxy(const JobRun& run, bool offline) {
    if (!run.proxy.Configured()) return;
    if (SwitchProxyMode(run.proxy, offline)) return;
    std::string reason = fail_pending() ? OneLine(fail_take()) : std::string();
    run.progress->AddMessage(ProxyModeUrl(offline) + ": " + reason);
}

}  // namespace

void RunJobBody(JobRun& run) {
    ProgressWindow& progress = *run.progress;
    while (!progress.Running() && !progress.Abandoned()) std::this_thread::sleep_for(kProgressWindowPoll);

    const LoadSettings& settings = run.record.settings;
    const bool mustDial = run.dial.MustDial(run.scheduled) && settings.goOnline && run.dialer;
    ProgressDialObserver observer(progress);
    bool lineUp = true;
    if (mustDial && !progress.Abandoned()) {
        run.dialed = true;
        lineUp = run.dialer->Dial(run.dial, observer);
        if (!lineUp) run.dialer->HangUp();
    }

    if (lineUp && !progress.Abandoned()) {
        SwitchProxy(run, !settings.goOnline);
        run.result = run.crawler->RunLoadJob(settings, progress, run.proxy);
        if (settings.goOnline) CheckCacheFit(run.result, run.proxy);
        if (!run.result.cacheAdvice.empty()) progress.AddMessage(run.result.cacheAdvice);
        run.crawled = true;
        run.cancelled = progress.StopRequested();
        if (mustDial) {
            SwitchProxy(run, true);
            run.dialer->HangUp();
        }
    } else {
        run.cancelled = progress.StopRequested() || progress.Abandoned();
    }

    progress.Finish();
    run.done = true;
}
