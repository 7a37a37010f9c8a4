#include "viewer/app/jobs/LoadJobs.h"

#include "viewer/gui/MainWindow.h"

void ConnectJobCommands(MainWindow& window, JobManager& manager) {
    JobManager* jobs = &manager;
    window.jobs.openNetLocation = [jobs] { jobs->OpenNetLocation(); };
    window.jobs.addNetLocation = [jobs](GraphWindow* graph) { jobs->AddNetLocation(graph); };
    window.jobs.expandUrl = [jobs](GraphWindow* graph, const std::string& url) { jobs->ExpandUrl(graph, url); };
    window.jobs.configureInternet = [jobs] { jobs->ConfigureInternet(); };
}

LoadJobs::LoadJobs(MainWindow& window, IniFile& config, const ProxyAddress& proxy)
    : QObject(&window), window_(window), environment_(window) {
    manager_ = std::make_unique<JobManager>(environment_, config, prompts_, ras_, proxy);
    ConnectJobCommands(window, *manager_);
}

LoadJobs::~LoadJobs() {
    // The window may outlive us by a moment: its commands no longer reach here.
    window_.jobs = JobCommands();
    manager_.reset();
}

LoadJobs* InstallLoadJobs(MainWindow& window, IniFile& config, const ProxyAddress& proxy) {
    return new LoadJobs(window, config, proxy);
}
