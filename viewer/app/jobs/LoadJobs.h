// The load-job side of the program built onto its main window: the job
// manager with the real message boxes and the dial-up backend, and the main
// window's load-job commands connected to it.
#pragma once

#include "viewer/app/dialup/RasLibrary.h"
#include "viewer/app/jobs/AppPrompts.h"
#include "viewer/app/jobs/JobEnvironment.h"
#include "viewer/app/jobs/JobManager.h"
#include "viewer/loader/ProxyAddress.h"

#include <QObject>

#include <memory>

class IniFile;
class MainWindow;

// "Open a new Net location", "Add another Net location", "Expand URL..." and
// "Internet connection..." of the window go to the manager.
void ConnectJobCommands(MainWindow& window, JobManager& manager);

class LoadJobs : public QObject {
    Q_OBJECT
public:
    // A child of the window: it goes when the window goes, and with it the
    // dial-up backend.
    LoadJobs(MainWindow& window, IniFile& config, const ProxyAddress& proxy);
    ~LoadJobs() override;

    JobManager& Manager() { return *manager_; }

private:
    BoxPrompts prompts_;
    RasLibrary ras_;
    MainWindowEnvironment environment_;
    std::unique_ptr<JobManager> manager_;
};

// Builds the load-job side onto the window and connects its commands.
LoadJobs* InstallLoadJobs(MainWindow& window, IniFile& config, const ProxyAddress& proxy);
