#include "viewer/loader/UrlLoadJob.h"

#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "http/URLRequest.h"
#include "viewer/loader/LoaderTexts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kUrlRequestReporter[] = "Url-Request ";
constexpr char kRequestCommonReporter[] = "RequestCommon() ";
constexpr char kStartReporter[] = "UrlLoadJob::Start ";
constexpr char kWriteReporter[] = "UrlLoadJob::WriteRequest() ";
constexpr char kReadReporter[] = "UrlLoadJob::ReadAnswer() ";
constexpr char kRunReporter[] = "UrlLoadJob::RunConnections ";
constexpr char kKeepAliveLine[] = "Proxy-Connection: keep-alive\r\n";

Str ToStr(const std::string& text) {
    return Str(text.data(), static_cast<uint32_t>(text.size()));
}

bool Watched(UrlConnection::State state) {
    return state == UrlConnection::State::Connecting || state == UrlConnection::State::Sending ||
           state == UrlConnection::State::Receiving;
}

}  // namespace

std::string RequestUrlText(const std::string& url) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(url.size());
    for (char c : url) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte <= 32 || byte >= 127) {
            text += '%';
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        } else {
            text += c;
        }
    }
    return text;
}

UrlConnection::UrlConnection() = default;
UrlConnection::~UrlConnection() = default;

UrlLoadJob::UrlLoadJob(ProxyAddress proxy, std::function<bool()> stopRequested)
    : proxy_(std::move(proxy)), stopRequested_(std::move(stopRequested)) {}

UrlLoadJob::~UrlLoadJob() = default;

UrlConnection* UrlLoadJob::RequestCommon(const char* method, const SiteUrl& url, LoadItem* item) {
    if (!url.Valid()) {
        fail_new(kUrlRequestReporter, loader_text::kUrlNotValid);
        return nullptr;
    }
    // Without the proxy nothing here speaks TLS: HTTPS goes through the proxy.
    if (!proxy_.Configured() && url.Scheme() == "https") {
        fail_new(kUrlRequestReporter, loader_text::kHttpsNeedsProxy);
        return nullptr;
    }
    URLRequest request(method, ToStr(RequestUrlText(url.Text())), Str(), Str());
    if (request.invalid) {
        fail_chain(kRequestCommonReporter, loader_text::kCreatingRequest);
        return nullptr;
    }
    auto connection = std::make_unique<UrlConnection>();
    connection->headRequest = std::strcmp(method, "HEAD") == 0;
    if (proxy_.Configured()) {
        request.unknown += kKeepAliveLine;
        connection->viaProxy = true;
        connection->targetHost = proxy_.host;
        connection->targetPort = proxy_.port;
        Str text = request.to_proxy_Str();
        connection->requestText.assign(text.data(), text.length());
    } else {
        connection->targetHost = url.Host();
        connection->targetPort = url.Port() >= 0 ? static_cast<uint16_t>(url.Port()) : 80;
        Str text = request.to_server_Str();
        connection->requestText.assign(text.data(), text.length());
    }
    connection->owner = item;
    connection->lastActivity = Clock::now();
    connection->deadline = connection->lastActivity + documentDeadline_;
    connections_.push_back(std::move(connection));
    return connections_.back().get();
}

void UrlLoadJob::Fail(UrlConnection& connection, const char* reporter, const char* text) {
    fail_chain(reporter, text);
    connection.failure = fail_take();
    connection.state = UrlConnection::State::Failed;
    connection.socket.reset();
}

void UrlLoadJob::Start(UrlConnection& connection) {
    if (connection.viaProxy) {
        // Only now: the crawl may have given the connection another collector.
        connection.answer.ExpectKeptOpen(connection.headRequest);
        if (!connection.retried && (connection.socket = idle_.Take())) {
            connection.reused = connection.connected = true;
            connection.lastActivity = Clock::now();
            connection.state = UrlConnection::State::Sending;
            return;
        }
    }
    Connect(connection);
}

void UrlLoadJob::Connect(UrlConnection& connection) {
    connection.state = UrlConnection::State::Connecting;
    connection.lastActivity = Clock::now();
    connection.socket = std::make_unique<InterNetClient>(ToStr(connection.targetHost), connection.targetPort,
                                                         false);
    if (connection.socket->failed()) {
        Fail(connection, kStartReporter, loader_text::kContactFailed);
        return;
    }
    // Nagle would hold back the last piece of a request.
    if (connection.socket->delay_off() < 0) fail_take();
    connection.state = UrlConnection::State::Sending;
}

// A non-blocking connect that did not succeed shows up as a writeable socket
// with a pending error; that is a connection that could not be made.
bool UrlLoadJob::ConfirmConnected(UrlConnection& connection) {
    if (connection.connected) return true;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(connection.socket->handle(), SOL_SOCKET, SO_ERROR, &error, &length) < 0) error = errno;
    if (error != 0) {
        fail_new(kStartReporter, Str(loader_text::kContactFailed) + " Reason code:" + Str::from_long(error));
        connection.failure = fail_take();
        connection.state = UrlConnection::State::Failed;
        connection.socket.reset();
        return false;
    }
    connection.connected = true;
    return true;
}

void UrlLoadJob::WriteRequest(UrlConnection& connection) {
    if (!connection.socket || !ConfirmConnected(connection)) return;
    while (connection.sent < connection.requestText.size()) {
        size_t left = connection.requestText.size() - connection.sent;
        int32_t n = connection.socket->nbwrite(connection.requestText.data() + connection.sent,
                                               static_cast<int32_t>(std::min<size_t>(left, INT32_MAX)));
        if (n < 0) {
            if (!RetryOnFresh(connection)) Fail(connection, kWriteReporter, loader_text::kSendFailed);
            return;
        }
        if (n == 0) return;  // would block: the rest on the next turn
        connection.sent += static_cast<size_t>(n);
        connection.lastActivity = Clock::now();
    }
    connection.state = UrlConnection::State::Receiving;
}

bool UrlLoadJob::PeerClosed(const UrlConnection& connection) const {
    char probe;
    ssize_t n = ::recv(connection.socket->handle(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0;
}

void UrlLoadJob::ReadAnswer(UrlConnection& connection) {
    if (!connection.socket) return;
    int32_t n = connection.socket->nbread(buffer_, sizeof buffer_);
    if (n < 0) {
        if (!RetryOnFresh(connection)) Fail(connection, kReadReporter, loader_text::kReceiveFailed);
        return;
    }
    if (n == 0) {
        if (!PeerClosed(connection) || RetryOnFresh(connection)) return;
        if (connection.answer.HeadComplete()) {
            Finish(connection);
            return;
        }
        // Closed before the head was complete: wait no longer.
        fail_new(kReadReporter, connection.answer.AnythingReceived() ? loader_text::kAnswerNotUnderstood
                                                                     : loader_text::kReceiveFailed);
        connection.failure = fail_take();
        connection.state = UrlConnection::State::Failed;
        connection.socket.reset();
        return;
    }
    connection.lastActivity = Clock::now();
    switch (connection.answer.Add(buffer_, static_cast<size_t>(n))) {
    case AnswerCollector::Result::More:
        if (connection.answer.Complete()) Finish(connection);
        return;
    case AnswerCollector::Result::HeadTooLong:
        fail_new(kReadReporter, loader_text::kHeadTooLong);
        break;
    case AnswerCollector::Result::NotUnderstood:
        fail_new(kReadReporter, loader_text::kAnswerNotUnderstood);
        break;
    case AnswerCollector::Result::BodyTooLong:
        fail_new(kReadReporter, loader_text::kBodyTooLong);
        break;
    case AnswerCollector::Result::BodyLimit:
        connection.cut = true;
        connection.state = UrlConnection::State::Done;
        connection.socket.reset();
        return;
    }
    connection.failure = fail_take();
    connection.state = UrlConnection::State::Failed;
    connection.socket.reset();
}

// The proxy may close a kept connection while it is idle or just as the
// request arrives. Then the request goes once more, on a fresh connection.
bool UrlLoadJob::RetryOnFresh(UrlConnection& connection) {
    if (!connection.reused || connection.answer.AnythingReceived()) return false;
    fail_take();  // the socket's report of the lost connection
    connection.socket.reset();
    connection.reused = connection.connected = false;
    connection.retried = true;
    connection.sent = 0;
    connection.state = UrlConnection::State::New;
    return true;
}

// A connection whose answer ended by its length and had nothing after it
// serves the next request; any other is closed.
void UrlLoadJob::Finish(UrlConnection& connection) {
    connection.state = UrlConnection::State::Done;
    if (connection.viaProxy && connection.answer.Complete() && !connection.answer.Overrun())
        idle_.Put(std::move(connection.socket));
    connection.socket.reset();
}

bool UrlLoadJob::AnyFinished() const {
    return std::any_of(connections_.begin(), connections_.end(),
                       [](const auto& connection) { return connection->Finished(); });
}

// A connection that has seen nothing for the answer timeout gives up, and so
// does one that is still not complete at its deadline.
void UrlLoadJob::ExpireSilent() {
    const auto now = Clock::now();
    for (auto& connection : connections_) {
        if (!Watched(connection->state)) continue;
        if (now - connection->lastActivity >= answerTimeout_)
            Fail(*connection, kRunReporter, loader_text::kNoConnection);
        else if (now >= connection->deadline)
            Fail(*connection, kRunReporter, loader_text::kPastDeadline);
    }
}

// How long a pass may wait: its three seconds at most, less when a
// connection's answer time runs out sooner, nothing when one has finished.
int UrlLoadJob::PassWait() const {
    if (AnyFinished()) return 0;
    auto wait = std::chrono::milliseconds(kPassWaitMs);
    const auto now = Clock::now();
    for (const auto& connection : connections_) {
        if (!Watched(connection->state)) continue;
        auto end = std::min(connection->lastActivity + answerTimeout_, connection->deadline);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
        wait = std::min(wait, std::max(left + std::chrono::milliseconds(1), std::chrono::milliseconds(0)));
    }
    return static_cast<int>(wait.count());
}

// One pass; true when a connection is done or failed.
bool UrlLoadJob::Pass() {
    for (auto& connection : connections_)
        if (connection->state == UrlConnection::State::New) Start(*connection);

    std::vector<pollfd> fds;
    std::vector<UrlConnection*> watched;
    size_t readers = 0;
    size_t writers = 0;
    for (auto& connection : connections_) {
        if (!Watched(connection->state)) continue;
        bool reading = connection->state == UrlConnection::State::Receiving;
        size_t& count = reading ? readers : writers;
        if (count >= kWatchLimit) continue;  // its turn comes in a later pass
        count++;
        fds.push_back(pollfd{connection->socket->handle(), static_cast<short>(reading ? POLLIN : POLLOUT), 0});
        watched.push_back(connection.get());
    }
    if (watched.empty()) return true;

    int ready = ::poll(fds.data(), fds.size(), PassWait());
    if (ready < 0 && errno != EINTR) {
        for (UrlConnection* connection : watched) Fail(*connection, kRunReporter, loader_text::kWaitFailed);
        return true;
    }
    if (ready > 0) {
        const short done = POLLERR | POLLHUP | POLLNVAL;
        for (size_t i = 0; i < fds.size(); i++)
            if (watched[i]->state == UrlConnection::State::Receiving && (fds[i].revents & (POLLIN | done)))
                ReadAnswer(*watched[i]);
        for (size_t i = 0; i < fds.size(); i++)
            if (watched[i]->state != UrlConnection::State::Receiving && !watched[i]->Finished() &&
                (fds[i].revents & (POLLOUT | done)))
                WriteRequest(*watched[i]);
    }
    ExpireSilent();
    return AnyFinished();
}

void UrlLoadJob::RunConnections(bool singlePass) {
    for (;;) {
        if (stopRequested_ && stopRequested_()) return;
        if (Pass() || singlePass) return;
    }
}

void UrlLoadJob::Release(UrlConnection* connection) {
    auto it = std::find_if(connections_.begin(), connections_.end(),
                           [connection](const auto& held) { return held.get() == connection; });
    if (it != connections_.end()) connections_.erase(it);
}
