// The job manager: collects load jobs with the "Open a new Net location"
// dialog, runs them at once or keeps them for a delayed run that a 10-second
// timer starts, and runs each job into a graph window of its own while the
// progress window shows it. Also the jobs into an existing graph window
// ("Add another Net location", "Expand URL...") and the dial-up wizard.
//
// Only one thing happens at a time: while the manager is busy (in its dialog
// loop or running jobs) further commands and timer ticks wait or are refused.
#pragma once

#include "viewer/app/dialup/DialUp.h"
#include "viewer/app/jobs/EndOfLoadWindow.h"
#include "viewer/app/jobs/JobRecord.h"
#include "viewer/app/jobs/ScheduledJobWindow.h"
#include "viewer/gui/GraphWindow.h"
#include "viewer/loader/Crawler.h"
#include "viewer/loader/ProxyAddress.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <vector>

class AppPrompts;
class IniFile;
class JobEnvironment;
class RasApi;

class JobManager : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    static constexpr int kTimerMs = 10000;

    JobManager(JobEnvironment& environment, IniFile& config, AppPrompts& prompts, RasApi& ras,
               ProxyAddress proxy, QObject* parent = nullptr);
    ~JobManager() override;

    // Tests set a clock of their own; the default is the system's.
    void SetClock(Clock clock) { clock_ = std::move(clock); }
    QDateTime Now() const { return clock_(); }

    // "Open a new Net location": the dialog loop.
    void OpenNetLocation();
    // "Add another Net location": a job into the window, run at once.
    void AddNetLocation(GraphWindow* window);
    // "Expand URL...": the same, with the node's URL filled in.
    void ExpandUrl(GraphWindow* window, const std::string& url);
    // "Configure Internet Connection".
    void ConfigureInternet();

    // What the 10-second timer does.
    void TimerTick();
    // Drops the waiting run.
    void Cancel();

    bool Busy() const { return busy_; }
    bool Scheduled() const { return scheduled_; }
    QDateTime StartTime() const { return startTime_; }
    const std::vector<JobRecord>& ScheduledJobs() const { return scheduledJobs_; }
    ScheduledJobWindow* JobWindow() const { return jobWindow_; }
    const QTimer& Timer() const { return timer_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    DialUp& Dialer() { return dialer_; }

    // The graph windows of the last run, in job order (closed ones null).
    QList<QPointer<GraphWindow>> LastRunWindows() const { return lastRun_; }
    QList<EndOfLoadWindow*> EndOfLoadWindows() const;
    int RunsStarted() const { return runsStarted_; }
    int JobsRun() const { return jobsRun_; }

signals:
    // A run of jobs is over (windows prepared, end-of-load windows shown).
    void RunFinished();

private:
    class BusyScope;

    void RunAllJobs(std::vector<JobRecord> jobs, bool scheduled);
    // Runs one job into the window; true when the user stopped it.
    // true when the user cancelled; result tells what the crawl came to.
    bool RunJob(const JobRecord& job, GraphWindow* window, bool scheduled, LoadJobResult& result);
    void JobIntoWindow(GraphWindow* window, const std::string& url);
    void Schedule(std::vector<JobRecord> jobs, const QDateTime& start);
    void ShowJobWindow();
    void CloseJobWindow();
    void PrepareDisplay(GraphWindow& window);
    void ShowEndOfLoad(GraphWindow* window, const JobRecord& job, bool graphShown, const LoadJobResult& result);
    bool RefuseWhileBusy();

    JobEnvironment& environment_;
    IniFile& config_;
    AppPrompts& prompts_;
    ProxyAddress proxy_;
    DialUp dialer_;
    Clock clock_;

    std::vector<JobRecord> scheduledJobs_;
    QDateTime startTime_;
    bool scheduled_ = false;
    QTimer timer_;
    bool busy_ = false;
    QPointer<ScheduledJobWindow> jobWindow_;
    bool enabled_ = true;

    QList<QPointer<GraphWindow>> lastRun_;
    QList<QPointer<EndOfLoadWindow>> endOfLoad_;
    int runsStarted_ = 0;
    int jobsRun_ = 0;
};
