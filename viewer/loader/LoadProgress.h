// What a running load job tells the person waiting for it, and how it learns
// that it should stop. The window implements it with events posted to the
// GUI thread; the headless runner prints. Every call but StopRequested comes
// from the job's worker thread; StopRequested may be set from any thread.
#pragma once

#include <string>

class LoadProgress {
public:
    // Lines 0 to 11, one per document in progress.
    static constexpr int kLines = 12;

    virtual ~LoadProgress() = default;

    // Shows a document's status in a line; an empty text clears the line.
    virtual void SetLine(int line, const std::string& text) = 0;
    // A failure to be listed; a job with messages had problems.
    virtual void AddMessage(const std::string& text) = 0;
    // Documents still queued or in progress.
    virtual void ItemsLeft(int count) = 0;
    // Documents finished so far (loaded or failed).
    virtual void ItemsDone(int count) { (void)count; }
    // The job is over (done or stopped).
    virtual void End() = 0;
    virtual bool StopRequested() const = 0;
};
