#include "viewer/app/jobs/JobManager.h"

#include "viewer/app/dialup/ConnectionWizard.h"
#include "viewer/app/jobs/AppPrompts.h"
#include "viewer/app/jobs/EndOfLoadWindow.h"
#include "viewer/app/jobs/GraphDisplay.h"
#include "viewer/app/jobs/JobBody.h"
#include "viewer/app/jobs/JobEnvironment.h"
#include "viewer/app/jobs/JobTexts.h"
#include "viewer/app/jobs/NetLocationDialog.h"
#include "viewer/app/jobs/ProgressWindow.h"
#include "viewer/app/jobs/ScheduledJobWindow.h"
#include "viewer/app/jobs/StartTimeDialog.h"

#include "viewer/gui/GraphWindow.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include <thread>

// Marks the manager busy for as long as it lives.
class JobManager::BusyScope {
public:
    explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& busy_;
};

JobManager::JobManager(JobEnvironment& environment, IniFile& config, AppPrompts& prompts, RasApi& ras,
                       ProxyAddress proxy, QObject* parent)
    : QObject(parent),
      environment_(environment),
      config_(config),
      prompts_(prompts),
      proxy_(std::move(proxy)),
      dialer_(ras),
      clock_([] { return QDateTime::currentDateTime(); }) {
    timer_.setSingleShot(true);
    timer_.setInterval(kTimerMs);
    connect(&timer_, &QTimer::timeout, this, &JobManager::TimerTick);
}

JobManager::~JobManager() {
    timer_.stop();
    for (const QPointer<EndOfLoadWindow>& window : endOfLoad_)
        if (window) window->disconnect(this);
}

bool JobManager::RefuseWhileBusy() {
    if (!busy_) return false;
    environment_.ShowStatus(job_text::kBusy);
    return true;
}

void JobManager::OpenNetLocation() {
    if (RefuseWhileBusy()) return;
    BusyScope busy(busy_);
    std::vector<JobRecord> jobs;
    for (;;) {
        JobRecord record;
        NetLocationDialog::Options options;
        options.offerDelayed = !scheduled_;
        options.jobsCollected = !jobs.empty();
        NetLocationDialog dialog(record, config_, prompts_, options, environment_.Window());
        int result = prompts_.Run(dialog);
        if (result == NetLocationDialog::kAddAnother) {
            jobs.push_back(record);
            continue;
        }
        if (result == NetLocationDialog::kExecuteNow) {
            jobs.push_back(record);
            RunAllJobs(std::move(jobs), false);
            return;
        }
        if (result == NetLocationDialog::kExecuteDelayed && !scheduled_) {
            jobs.push_back(record);
            StartTimeDialog when(prompts_, clock_, environment_.Window());
            if (prompts_.Run(when) == QDialog::Accepted)
                Schedule(std::move(jobs), when.StartTime());
            else
                RunAllJobs(std::move(jobs), false);
            return;
        }
        // Cancelled: the jobs collected in this loop are dropped; a run that
        // is already waiting keeps its own.
        return;
    }
}

void JobManager::Schedule(std::vector<JobRecord> jobs, const QDateTime& start) {
    scheduledJobs_ = std::move(jobs);
    startTime_ = start;
    scheduled_ = true;
    ShowJobWindow();
    timer_.start();
}

void JobManager::ShowJobWindow() {
    std::vector<std::string> urls;
    for (const JobRecord& job : scheduledJobs_) urls.push_back(job.settings.startUrl);
    auto* window = new ScheduledJobWindow(startTime_, urls, prompts_, [this] { Cancel(); });
    jobWindow_ = window;
    if (QMdiArea* area = environment_.MdiArea()) {
        QMdiSubWindow* frame = area->addSubWindow(window);
        frame->setAttribute(Qt::WA_DeleteOnClose);
        frame->setWindowIcon(window->windowIcon());
        frame->resize(std::max(360, area->width() / 2), std::max(160, area->height() / 3));
        window->show();
        area->setActiveSubWindow(frame);
    } else {
        window->show();
    }
}

void JobManager::CloseJobWindow() {
    if (jobWindow_) jobWindow_->CloseForRun();
    jobWindow_ = nullptr;
}

void JobManager::Cancel() {
    scheduledJobs_.clear();
    scheduled_ = false;
    timer_.stop();
}

void JobManager::TimerTick() {
    if (!scheduled_) return;
    if (busy_ || !enabled_ || Now() < startTime_) {
        timer_.start();
        return;
    }
    BusyScope busy(busy_);
    timer_.stop();
    CloseJobWindow();
    std::vector<JobRecord> jobs = std::move(scheduledJobs_);
    scheduledJobs_.clear();
    scheduled_ = false;
    RunAllJobs(std::move(jobs), true);
}

void JobManager::RunAllJobs(std::vector<JobRecord> jobs, bool scheduled) {
    runsStarted_++;
    lastRun_.clear();
    bool cancelled = false;
    struct Ran {
        QPointer<GraphWindow> window;
        const JobRecord* job;
        LoadJobResult result;
    };
    std::vector<Ran> ran;
    for (const JobRecord& job : jobs) {
        if (cancelled) break;
        QPointer<GraphWindow> window = environment_.OpenGraphWindow(QString::fromStdString(job.settings.startUrl));
        if (!window) continue;
        LoadJobResult result;
        cancelled = RunJob(job, window, scheduled, result);
        ran.push_back({window, &job, result});
        lastRun_.append(window);
    }
    if (!cancelled)
        for (Ran& one : ran)
            if (one.window) PrepareDisplay(*one.window);
    for (Ran& one : ran)
        if (one.window) ShowEndOfLoad(one.window, *one.job, !cancelled && one.job->showGraphAtOnce, one.result);
    emit RunFinished();
}

bool JobManager::RunJob(const JobRecord& job, GraphWindow* window, bool scheduled, LoadJobResult& result) {
    QPointer<GraphWindow> guard(window);
    window->SuspendPainting(true);
    ProgressWindow progress(prompts_, environment_.Window());
    progress.statusSink = [this](const QString& text) { environment_.ShowStatus(text); };

    JobRun run;
    run.record = job;
    run.dial = DialSettings::Read(config_);
    run.scheduled = scheduled;
    run.crawler = &window->GetCrawler();
    run.proxy = proxy_;
    run.progress = &progress;
    run.dialer = &dialer_;

    jobsRun_++;
    std::thread worker([&run] { RunJobBody(run); });
    prompts_.Run(progress);
    // The window's run is over; a worker that has not finished yet (the
    // window was closed some other way) stops now.
    progress.Abandon();
    if (!run.done.load()) progress.RequestStop();
    worker.join();
    if (guard) guard->SuspendPainting(false);
    result = run.result;
    return run.cancelled;
}

void JobManager::PrepareDisplay(GraphWindow& window) {
    PrepareGraphDisplay(
        window, [this](const QString& text) { environment_.ShowStatus(text); },
        [this] { return environment_.StatusText(); });
    window.setProperty("vantlowPrepared", true);
}

void JobManager::ShowEndOfLoad(GraphWindow* window, const JobRecord& job, bool graphShown,
                               const LoadJobResult& result) {
    EndOfLoadWindow::Actions actions;
    actions.startBrowser = [this](QWidget* parent, const std::string& url) {
        bool started = environment_.StartBrowser(parent, url);
        if (!started) environment_.ShowStatus(job_text::kBrowserNotStarted);
        return started;
    };
    actions.showGraph = [this](GraphWindow& graph) {
        if (!graph.property("vantlowPrepared").toBool()) PrepareDisplay(graph);
        BringGraphWindowForward(graph);
    };
    // What the job came to; a start page that could not be loaded comes first.
    std::string failure = StartFailure(result);
    std::string outcome = (failure.empty() ? "" : failure + "\n") +
                          (result.cacheAdvice.empty() ? "" : result.cacheAdvice + "\n") + LoadSummary(result, window->Graph());
    // A graph shown at once comes in front now: the progress window, closing,
    // gave the focus back to the window that had it before.
    if (graphShown) BringGraphWindowForward(*window);
    auto* end = new EndOfLoadWindow(window, job.settings.startUrl, graphShown, std::move(actions),
                                    QString::fromStdString(outcome), !failure.empty(), environment_.Window());
    endOfLoad_.removeIf([](const QPointer<EndOfLoadWindow>& window) { return window.isNull(); });
    endOfLoad_.append(end);
    end->show();
}

QList<EndOfLoadWindow*> JobManager::EndOfLoadWindows() const {
    QList<EndOfLoadWindow*> windows;
    for (const QPointer<EndOfLoadWindow>& window : endOfLoad_)
        if (window) windows.append(window);
    return windows;
}

void JobManager::AddNetLocation(GraphWindow* window) {
    JobIntoWindow(window, std::string());
}

void JobManager::ExpandUrl(GraphWindow* window, const std::string& url) {
    JobIntoWindow(window, url);
}

void JobManager::JobIntoWindow(GraphWindow* window, const std::string& url) {
    if (!window || window->Animating() || !window->CanExpand()) return;
    if (RefuseWhileBusy()) return;
    BusyScope busy(busy_);
    JobRecord record;
    // The window's last job's choices stay, levels and all; only the URL is new.
    if (const LoadSettings* last = window->GetCrawler().LastSettings()) record.settings = *last;
    record.settings.startUrl = url;
    NetLocationDialog::Options options;
    options.form = NetLocationDialog::Form::IntoWindow;
    options.offerDelayed = false;
    NetLocationDialog dialog(record, config_, prompts_, options, environment_.Window());
    if (prompts_.Run(dialog) != NetLocationDialog::kExecuteNow) return;

    runsStarted_++;
    lastRun_.clear();
    QPointer<GraphWindow> guard(window);
    LoadJobResult result;
    bool cancelled = RunJob(record, window, false, result);
    lastRun_.append(guard);
    if (!guard) return;
    if (!cancelled) PrepareDisplay(*guard);
    // The window is on view already: the end-of-load window never closes it.
    ShowEndOfLoad(guard, record, true, result);
    emit RunFinished();
}

void JobManager::ConfigureInternet() {
    if (RefuseWhileBusy()) return;
    BusyScope busy(busy_);
    ConnectionWizard wizard(config_, dialer_, prompts_, environment_.Window());
    prompts_.Run(wizard);
}
