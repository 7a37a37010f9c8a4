// HTTPS through harbord, against real TLS on loopback: a TlsFront with test
// certificates before an OriginServer.
//   Download/direct, Download/tunnel: 10 MB over TLS from the front, and the
//     same through a CONNECT tunnel of harbord (target: tunnel >= 0.8 x direct).
//   Hit/http, Hit/https: a cached 10 KB document asked for by absolute URL,
//     plain and https, one connection per request as browsers of HTTP/1.0 do.
//   Intercepted: the same https document as a browser asks for it with
//     interception on: CONNECT, TLS with harbord (resuming the session of
//     the connection before, as browsers do), GET inside.
//   Mint: one host certificate made by the local CA, for a new host each time.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestCertificates.h"
#include "testsupport/TlsFront.h"
#include "tls/LocalAuthority.h"
#include "tls/TlsSession.h"

#include <benchmark/benchmark.h>

#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t BIG = 10 << 20, SMALL = 10 << 10;

struct Stage {
    TempDir certificates_dir{"https-bench"};
    TestCertificates certificates = TestCertificates::make(certificates_dir.path());
    OriginServer origin;
    TlsFront front{certificates.certificate("good"), certificates.key("good"), origin.port()};
    e2e::Harbord proxy{{"-cafile", certificates.ca(), "-sslports", std::to_string(front.port()), "-maxcon", "100",
                        "-cachesize", "100000", "-entrysize", "20000"}};
    e2e::Harbord keeping{{"-cafile", certificates.ca(), "-sslports", std::to_string(front.port()), "-maxcon", "100",
                          "-sslcache", "1"}};
    TlsConfig trust;

    Stage() {
        trust.add_ca_file(certificates.ca().c_str());
        keeping.get("http://quaylo/ca.crt"); // makes the local CA
        origin.set("/big.bin", OriginServer::document(std::string(BIG, 'x'), "application/octet-stream"));
        origin.set("/small.bin", OriginServer::document(std::string(SMALL, 'y'), "application/octet-stream"));
        for (const std::string& url : {Url("http", "/small.bin"), Url("https", "/small.bin")}) proxy.get(url);
    }
    std::string Url(const std::string& scheme, const std::string& path) const {
        return scheme + "://127.0.0.1:" + std::to_string(scheme == "https" ? front.port() : origin.port()) + path;
    }
};

Stage& stage() {
    static Stage made;
    return made;
}

// Runs a TLS step until it stops asking to wait.
template <typename Step> int32_t settle(TlsSession& session, int fd, Step step) {
    for (;;) {
        int32_t n = step();
        pollfd ready{fd, session.wait_events(), 0};
        if (n != TlsSession::WAIT || ::poll(&ready, 1, 30000) <= 0) return n;
    }
}

// GET /big.bin over TLS on fd (already at the front, directly or tunnelled); body bytes read.
size_t download(int fd) {
    TlsSession session(stage().trust, fd);
    if (!session.handshake("127.0.0.1", 30000)) return 0;
    const std::string ask = "GET /big.bin HTTP/1.0\r\n\r\n";
    settle(session, fd, [&] { return session.write(ask.data(), int32_t(ask.size())); });
    static char piece[1 << 16];
    size_t total = 0;
    for (int32_t n; (n = settle(session, fd, [&] { return session.read(piece, sizeof piece); })) > 0;)
        total += size_t(n);
    return total;
}

void Download(benchmark::State& state) {
    const bool tunnel = state.range(0) == 1;
    for (auto _ : state) {
        int fd = e2e::connect_loopback(tunnel ? stage().proxy.port() : stage().front.port());
        if (tunnel) {
            std::string ask = "CONNECT 127.0.0.1:" + std::to_string(stage().front.port()) + " HTTP/1.0\r\n\r\n";
            ::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL);
            char head[40] = {};  // "HTTP/1.0 200 Connection established\r\n\r\n", exactly
            if (::recv(fd, head, 39, MSG_WAITALL) != 39 || std::string(head).find(" 200 ") != 8) {
                state.SkipWithError(("no tunnel: " + std::string(head)).c_str());
                break;
            }
        }
        if (download(fd) < BIG) state.SkipWithError("short download");
        ::close(fd);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * BIG));
    state.SetLabel(tunnel ? "through a harbord tunnel" : "directly from the TLS origin");
}
BENCHMARK(Download)->ArgName("tunnel")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void Hit(benchmark::State& state) {
    const std::string url = stage().Url(state.range(0) == 1 ? "https" : "http", "/small.bin");
    const std::string ask = e2e::proxy_request("GET", url);
    for (auto _ : state)
        if (e2e::exchange(stage().proxy.port(), ask).size() < SMALL) state.SkipWithError("no hit");
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel(url.substr(0, 5) + " cache hit, 10 KB");
}
BENCHMARK(Hit)->ArgName("https")->Arg(0)->Arg(1)->Threads(1)->Threads(8)->UseRealTime();

// A browser's client end with interception on: blocking OpenSSL trusting the
// local CA, keeping its last session for the next connection.
struct Browser {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_SESSION* last = nullptr;
    Browser() { SSL_CTX_load_verify_locations(context, (stage().keeping.dir() + "/quaylo-ca.crt").c_str(), nullptr); }
    ~Browser() {
        SSL_SESSION_free(last);
        SSL_CTX_free(context);
    }
    // One intercepted GET of /small.bin: body bytes read, -1 on a failure.
    long get(bool& resumed) {
        const std::string port = std::to_string(stage().front.port());
        int fd = e2e::connect_loopback(stage().keeping.port());
        std::string ask = "CONNECT 127.0.0.1:" + port + " HTTP/1.0\r\n\r\n";
        ::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL);
        char head[40] = {};
        long body = -1;
        SSL* ssl = SSL_new(context);
        SSL_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
        SSL_set_fd(ssl, fd);
        if (last) SSL_set_session(ssl, last);
        if (::recv(fd, head, 39, MSG_WAITALL) == 39 && SSL_connect(ssl) == 1) {
            resumed = SSL_session_reused(ssl) == 1;
            const std::string get = "GET /small.bin HTTP/1.0\r\nHost: 127.0.0.1:" + port + "\r\n\r\n";
            SSL_write(ssl, get.data(), int(get.size()));
            static thread_local char piece[1 << 16];
            std::string answer;
            for (int n; (n = SSL_read(ssl, piece, sizeof piece)) > 0;) answer.append(piece, size_t(n));
            size_t end = answer.find("\r\n\r\n");
            body = end == std::string::npos ? -1 : long(answer.size() - end - 4);
            SSL_shutdown(ssl); // else OpenSSL marks the session not resumable
            SSL_SESSION_free(last);
            last = SSL_get1_session(ssl);
        }
        SSL_free(ssl);
        ::close(fd);
        return body;
    }
};

void Intercepted(benchmark::State& state) {
    Browser browser;
    bool resumed = false;
    browser.get(resumed); // the first one stores the document and starts a session
    int64_t resumptions = 0;
    for (auto _ : state) {
        if (browser.get(resumed) != long(SMALL)) {
            state.SkipWithError("no intercepted hit");
            break;
        }
        resumptions += resumed;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["resumed"] = benchmark::Counter(double(resumptions), benchmark::Counter::kAvgIterations);
    state.SetLabel("intercepted https cache hit, 10 KB");
}
BENCHMARK(Intercepted)->Threads(1)->Threads(8)->UseRealTime();

void Mint(benchmark::State& state) {
    TempDir directory("mint-bench");
    LocalAuthority authority(directory.path().c_str());
    long host = 0;
    for (auto _ : state)
        if (!authority.for_host(("host" + std::to_string(++host) + ".example").c_str())) state.SkipWithError("no certificate");
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("host certificate made by the local CA");
}
BENCHMARK(Mint)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
