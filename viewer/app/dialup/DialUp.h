// Dialing and hanging up the connection around a load job, and the list of
// phone-book entries for the wizard. Dial and hang-up run on the job's
// worker thread; the backend reports the dial's progress on a thread of its
// own. One dial at a time.
#pragma once

#include "viewer/app/dialup/DialSettings.h"
#include "viewer/app/dialup/RasApi.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

// Where a dial reports to; called from the worker and the backend's thread.
class DialObserver {
public:
    virtual ~DialObserver() = default;
    // A connection state was reached (line 0 of the progress window).
    virtual void DialState(const std::string& text) = 0;
    // The dial failed: a short text for the status bar.
    virtual void DialStatus(const std::string& text) = 0;
    // Dialing is impossible: a text for an error box.
    virtual void DialError(const std::string& text) = 0;
    // The user stopped the job.
    virtual bool DialStopRequested() const = 0;
};

class DialUp {
public:
    // How long to sleep between looks at the dial's state and, after a
    // hang-up, at the line.
    static constexpr std::chrono::milliseconds kPoll{100};
    // A line that does not report its end within this many looks is given up.
    static constexpr int kHangUpPolls = 100;
    // Entries listed at most (a backend that asks for more is refused).
    static constexpr uint32_t kMaxEntries = 4096;

    explicit DialUp(RasApi& ras) : ras_(ras) {}
    ~DialUp();
    DialUp(const DialUp&) = delete;
    DialUp& operator=(const DialUp&) = delete;

    // Dials the settings' entry and waits until the line is up, the dial
    // failed or the user stopped the job. True when connected; otherwise the
    // line is hung up again.
    bool Dial(const DialSettings& settings, DialObserver& observer);
    // Hangs up the line, if there is one, and waits for it to go.
    void HangUp();

    bool Connected() const { return connected_.load(); }
    RasHandle Handle() const { return handle_.load(); }

    enum class ListResult { Listed, LibraryMissing, Failed };
    // The phone-book entries in the order the backend gives them. Failed
    // leaves the backend's error text (or a text of our own) in `error`.
    ListResult ListConnections(std::vector<std::string>& names, std::string& error);

    // The backend's text for an error number, or fallback.
    std::string ErrorText(uint32_t error, const char* fallback);

private:
    static void StateCallback(uint32_t message, uint32_t state, uint32_t error);
    void OnState(uint32_t message, uint32_t state, uint32_t error);
    void Detach();

    RasApi& ras_;
    std::atomic<RasHandle> handle_{0};
    std::atomic<bool> connected_{false};
    std::atomic<bool> done_{false};
    std::atomic<bool> failureShown_{false};

    // The dial in progress and its observer, for the backend's callback.
    static std::mutex activeMutex_;
    static DialUp* active_;
    DialObserver* observer_ = nullptr;
};
