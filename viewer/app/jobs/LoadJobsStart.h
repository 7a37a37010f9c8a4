// The load-job side as a step of the windowed program's start-up, free of
// Qt's headers so that the program's main needs none of them.
#pragma once

class VantlowSession;
struct StartOptions;

// Builds the job manager, the dial-up backend and the load-job commands onto
// the session's main window; they live as long as the window.
void StartLoadJobs(VantlowSession& session, const StartOptions& options);
