#include "viewer/app/jobs/LoadJobs.h"

#include "viewer/app/jobs/LoadJobsStart.h"

#include "viewer/gui/MainWindow.h"
#include "viewer/gui/VantlowApp.h"

#include <QPointer>

void ConnectJobCommands(MainWindow& window, JobManager& manager) {
    // A command that arrives after the manager is gone does nothing.
    QPointer<JobManager> jobs(&manager);
    window.jobs.openNetLocation = [jobs] {
        if (jobs) jobs->OpenNetLocation();
    };
    window.jobs.addNetLocation = [jobs](GraphWindow* graph) {
        if (jobs) jobs->AddNetLocation(graph);
    };
    window.jobs.expandUrl = [jobs](GraphWindow* graph, const std::string& url) {
        if (jobs) jobs->ExpandUrl(graph, url);
    };
    window.jobs.configureInternet = [jobs] {
        if (jobs) jobs->ConfigureInternet();
    };
}

LoadJobs::LoadJobs(MainWindow& window, IniFile& config, const ProxyAddress& proxy)
    : QObject(&window), environment_(window) {
    manager_ = std::make_unique<JobManager>(environment_, config, prompts_, ras_, proxy);
    ConnectJobCommands(window, *manager_);
}

// The window is usually half gone by now (we are its child): leave it alone.
LoadJobs::~LoadJobs() = default;

LoadJobs* InstallLoadJobs(MainWindow& window, IniFile& config, const ProxyAddress& proxy) {
    return new LoadJobs(window, config, proxy);
}

void StartLoadJobs(VantlowSession& session, const StartOptions& options) {
    InstallLoadJobs(session.Window(), session.Config(), options.proxy);
}
