#include "viewer/loader/GetUrl.h"

#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "http/URLRequest.h"
#include "viewer/loader/AnswerCollector.h"
#include "viewer/loader/LoaderTexts.h"
#include "viewer/loader/SiteUrl.h"
#include "viewer/loader/UrlLoadJob.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <thread>

namespace {

constexpr char kReporter[] = "get_url() ";

enum class Wait { Ready, Failed };

// Waits until the socket has data (or has closed); the pause counter starts
// anew for every wait.
Wait WaitForData(Socket& socket, const FetchWaits& waits) {
    int pause = 0;
    for (;;) {
        pollfd fd{socket.handle(), POLLIN, 0};
        int ready = ::poll(&fd, 1, waits.waitMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            fail_new(kReporter, loader_text::kWaitFailed);
            return Wait::Failed;
        }
        if (ready > 0) return Wait::Ready;
        if (pause >= waits.pauseLimitMs) {
            fail_new(kReporter, loader_text::kNoConnection);
            return Wait::Failed;
        }
        pause += waits.pauseStepMs;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
}

bool PeerClosed(Socket& socket) {
    char probe;
    return ::recv(socket.handle(), &probe, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

const char* ResultText(AnswerCollector::Result result) {
    switch (result) {
    case AnswerCollector::Result::HeadTooLong:
        return loader_text::kHeadTooLong;
    case AnswerCollector::Result::NotUnderstood:
        return loader_text::kAnswerNotUnderstood;
    case AnswerCollector::Result::BodyTooLong:
        return loader_text::kBodyTooLong;
    case AnswerCollector::Result::BodyLimit:
        return loader_text::kPageCut;
    case AnswerCollector::Result::More:
        break;
    }
    return nullptr;
}

// Reads until the head is complete (wholeAnswer false) or the server closed.
bool Receive(InterNetClient& client, AnswerCollector& collector, bool wholeAnswer, const FetchWaits& waits) {
    char buffer[kReceiveBufferSize];
    for (;;) {
        if (WaitForData(client, waits) == Wait::Failed) return false;
        int32_t n = client.nbread(buffer, sizeof buffer);
        if (n < 0) {
            fail_chain(kReporter, loader_text::kReceiveFailed);
            return false;
        }
        if (n == 0) {
            if (!PeerClosed(client)) continue;
            if (collector.HeadComplete()) return true;
            fail_new(kReporter, collector.AnythingReceived() ? loader_text::kAnswerNotUnderstood
                                                             : loader_text::kReceiveFailed);
            return false;
        }
        if (const char* text = ResultText(collector.Add(buffer, static_cast<size_t>(n)))) {
            fail_new(kReporter, text);
            return false;
        }
        if (collector.HeadComplete() && !wholeAnswer) return true;
    }
}

}  // namespace

int get_url(const char* method, const std::string& url, FetchedAnswer& answer, const ProxyAddress& proxy,
            const FetchWaits& waits) {
    SiteUrl site(nullptr, url);
    if (!site.Valid()) return 0;
    std::string requestUrl = RequestUrlText(site.Text());
    URLRequest request(method, Str(requestUrl.data(), static_cast<uint32_t>(requestUrl.size())), Str(), Str());
    if (request.invalid) {
        fail_chain(kReporter, loader_text::kCreatingRequest);
        return 0;
    }
    std::string host = proxy.Configured() ? proxy.host : site.Host();
    uint16_t port = proxy.Configured() ? proxy.port : static_cast<uint16_t>(site.Port() >= 0 ? site.Port() : 80);
    Str text = proxy.Configured() ? request.to_proxy_Str() : request.to_server_Str();

    InterNetClient client(Str(host.data(), static_cast<uint32_t>(host.size())), port);
    if (client.failed()) {
        fail_chain(kReporter, loader_text::kContactFailed);
        return 0;
    }
    if (client.delay_off() < 0) fail_take();
    if (client.ewrite(text.data(), static_cast<int32_t>(text.length())) < static_cast<int32_t>(text.length())) {
        fail_chain(kReporter, loader_text::kSendFailed);
        return 0;
    }

    AnswerCollector collector;
    if (!Receive(client, collector, std::strcmp(method, "GET") == 0, waits)) return 0;
    answer.head = collector.Head();
    answer.headText = collector.HeadText();
    answer.body = collector.TakeBody();
    return 1;
}
