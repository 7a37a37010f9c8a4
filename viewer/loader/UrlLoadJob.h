// The connection machinery of a load job: many HTTP/1.0 requests at once on
// non-blocking sockets, driven by one poll loop in the job's worker thread.
//
// A connection goes New -> Connecting -> Sending -> Receiving -> Done, and
// from any step to Failed. A failed connection keeps the text of its failure
// report; the crawl reads the answer or the failure and releases it.
//
// Requests to the proxy ask it to keep the connection open. An answer that
// agrees ends by its length, and its connection waits in the idle pool for
// the job's next request, which starts at Sending on it. A kept connection
// the proxy closed before the answer's first byte is no failure: the request
// goes back to New once, and then on a fresh connection.
#pragma once

#include "viewer/loader/AnswerCollector.h"
#include "viewer/loader/ProxyAddress.h"
#include "viewer/loader/ProxyConnectionPool.h"
#include "viewer/loader/SiteUrl.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class InterNetClient;
struct LoadItem;

class UrlConnection {
public:
    enum class State { New = 0, Connecting = 1, Sending = 2, Receiving = 3, Done = 4, Failed = 5 };

    UrlConnection();
    ~UrlConnection();
    UrlConnection(const UrlConnection&) = delete;
    UrlConnection& operator=(const UrlConnection&) = delete;

    bool Finished() const { return state == State::Done || state == State::Failed; }

    State state = State::New;
    std::string requestText;
    std::string targetHost;  // the proxy, or the document's server
    uint16_t targetPort = 80;
    size_t sent = 0;
    std::unique_ptr<InterNetClient> socket;
    bool connected = false;  // the non-blocking connect is known to have succeeded
    AnswerCollector answer;
    LoadItem* owner = nullptr;
    std::string failure;  // the failure report of a Failed connection
    bool cut = false;     // Done, but the body reached its limit and the rest was not read
    std::chrono::steady_clock::time_point lastActivity;
    std::chrono::steady_clock::time_point deadline;  // complete by then, or fail
    bool headRequest = false;
    bool viaProxy = false;  // may take and leave kept connections
    bool reused = false;    // sent on a kept connection
    bool retried = false;   // sent again on a fresh connection after a kept one was lost
};

class UrlLoadJob {
public:
    // A connection that sees no progress for this long fails; a cancel is
    // noticed after at most one wait of kPassWait.
    static constexpr std::chrono::milliseconds kDefaultAnswerTimeout{120000};
    static constexpr int kPassWaitMs = 3000;
    static constexpr size_t kWatchLimit = 64;

    UrlLoadJob(ProxyAddress proxy, std::function<bool()> stopRequested);
    ~UrlLoadJob();
    UrlLoadJob(const UrlLoadJob&) = delete;
    UrlLoadJob& operator=(const UrlLoadJob&) = delete;

    void SetAnswerTimeout(std::chrono::milliseconds timeout) { answerTimeout_ = timeout; }
    void SetDocumentDeadline(std::chrono::milliseconds deadline) { documentDeadline_ = deadline; }

    // A new connection in state New for the item, or null with a failure
    // report pending (invalid URL, request not buildable).
    UrlConnection* RequestCommon(const char* method, const SiteUrl& url, LoadItem* item);
    UrlConnection* RequestCheck(const SiteUrl& url, LoadItem* item) { return RequestCommon("HEAD", url, item); }
    UrlConnection* RequestLoad(const SiteUrl& url, LoadItem* item) { return RequestCommon("GET", url, item); }

    // One step of a connection each.
    void Start(UrlConnection& connection);
    void WriteRequest(UrlConnection& connection);
    void ReadAnswer(UrlConnection& connection);

    // Network passes until a connection is done or failed (one that is
    // already, and not yet released, ends the passes after one more), the
    // job is told to stop, or (singlePass) after one pass.
    void RunConnections(bool singlePass = false);

    // Removes the connection and closes its socket.
    void Release(UrlConnection* connection);

    size_t ConnectionCount() const { return connections_.size(); }
    size_t IdleConnections() const { return idle_.IdleCount(); }
    void CloseIdleConnections() { idle_.CloseAll(); }

private:
    bool Pass();
    int PassWait() const;
    bool AnyFinished() const;
    void Fail(UrlConnection& connection, const char* reporter, const char* text);
    void Connect(UrlConnection& connection);
    bool RetryOnFresh(UrlConnection& connection);
    void Finish(UrlConnection& connection);
    bool ConfirmConnected(UrlConnection& connection);
    bool PeerClosed(const UrlConnection& connection) const;
    void ExpireSilent();

    ProxyAddress proxy_;
    std::function<bool()> stopRequested_;
    std::chrono::milliseconds answerTimeout_ = kDefaultAnswerTimeout;
    std::chrono::milliseconds documentDeadline_ = std::chrono::minutes(10);
    std::vector<std::unique_ptr<UrlConnection>> connections_;
    ProxyConnectionPool idle_;
    char buffer_[8192];
};

// The URL as it may stand in a request line: blanks, control characters and
// bytes above 126 are sent as %xx.
std::string RequestUrlText(const std::string& url);
