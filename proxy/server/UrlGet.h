// UrlGet: the request worker. One worker serves exactly one browser
// connection: it reads an HTTP proxy request, answers it from the cache,
// from the origin server (direct, through a remote proxy or a SOCKS4 server)
// or from the proxy's own pages, and stores what it relays; a client that
// asked to keep its connection gets the next request served on it, else the
// worker ends. It reaches the cache database and the options only through
// ParentChannel: the command channel to the server, or directly on a thread
// of the server's own process (DirectLink); it uses the client's handle
// without owning it.
//
// serve() handles the whole request; the destructor releases any lock left
// (or the server does, hearing Finished) and tells the server that the
// worker has finished; the server then closes the client connection.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/BufStream.h"
#include "foundation/FileStream.h"
#include "foundation/InterNetClient.h"
#include "foundation/Option.h"
#include "foundation/OptionSet.h"
#include "foundation/Socket.h"
#include "foundation/Str.h"
#include "http/GMTdate.h"
#include "http/URLAnswer.h"
#include "http/URLRequest.h"
#include "proxy/server/CacheFileWriter.h"
#include "proxy/server/HeadAssembler.h"
#include "proxy/server/ParentChannel.h"
#include "tls/TlsSession.h"

#include <cstdint>
#include <memory>

// The worker's program entry, called for the argument "-urlget" with the
// remaining arguments ("-socket" handle, "-remip" address, "-icsocket" the
// worker's end of its command channel, which the worker closes).
// The whole request is handled before it returns; the result is always 0.
int urlget_main(const Str& program_name, ArgList& args);

class UrlGet {
public:
    // Every socket read and the cache-file buffers use this size.
    static constexpr int32_t TRANSFER_BUFFER_SIZE = 65536;
    static constexpr uint32_t REQUEST_BODY_LIMIT = 32768;
    // The answer to a CONNECT that the proxy takes on, tunnelled or its own.
    static constexpr char ESTABLISHED[] = "HTTP/1.0 200 Connection established\r\n\r\n";
    static constexpr int32_t BAD_GATEWAY_STATUS = 502;
    // A page checked with HEAD before it is loaded (as a crawler does) is
    // fetched whole up to this size, so that its GET is answered from the
    // cache: one request to the origin instead of two.
    static constexpr uint32_t WHOLE_FOR_HEAD_LIMIT = 1024 * 1024;

    // What a failed step is blamed on; the report is pending.
    // FORBIDDEN: the origin is this machine's loopback and the client is not on it.
    enum class Failure : int32_t { NONE = 0, INTERNAL = 1, CLIENT = 2, ORIGIN = 3, FORBIDDEN = 4 };

    // Where the answer comes from.
    enum class Source {
        HELD,    // whole in answer_: a page of the proxy's own, an admin page, a 304 passed on
        ORIGIN,  // relayed from the origin server (and maybe stored)
        CACHE,   // a fresh cached copy
        RENEWED, // a cached copy whose date was renewed after a 304
    };

    UrlGet();
    ~UrlGet();
    UrlGet(const UrlGet&) = delete;
    UrlGet& operator=(const UrlGet&) = delete;

    // The worker's whole life for the start arguments.
    void serve(ArgList& args);

    Failure receive_request(URLRequest& request);
    Failure lookup_cache(URLRequest& request);
    Failure create_answer_to_special_request(URLRequest& request);
    Failure contact_server(URLRequest& request);
    Failure try_write_init(URLRequest& request);
    Failure update_cache_date(const GMTdate& date);
    Failure send_answer_to_client(URLRequest& request);

private:
    // A relayed document on its way into a cache file under a write lock.
    struct CacheWrite {
        uint32_t id = 0; // of the write lock; 0 = none held
        std::unique_ptr<CacheFileWriter> copy;
    };
    // The cache file an answer is read from, or its copy in memory.
    struct CacheRead {
        std::unique_ptr<IFileStream> file;
        std::shared_ptr<const Str> copy;
        std::unique_ptr<Readable> source; // over file or copy
        uint32_t sent = 0; // body bytes sent

        void close() {
            source.reset();
            file.reset();
            copy.reset();
            sent = 0;
        }
    };

    bool start(ArgList& args);
    // One request on the connection, from its head to the end of its answer.
    void serve_request();
    // Tells the server the options and lookup the request head allows (see
    // start); false when the channel failed (printed).
    bool announce_request();
    // Keep-alive (UrlGetKeepAlive.cpp). Whether the client asked for it.
    bool client_keeps_alive() const;
    // Decided right before the answer's head leaves: the client asked, and
    // the answer's end is known without a close. The head then says so.
    void decide_keep_alive();
    // After an answer: whether the connection stays, and then the next
    // request's head is awaited (`timeout` seconds) and announced.
    bool next_request();
    // The first bytes of the next request into buffer_: their count, 0 when
    // the client closed, -1 after `timeout` seconds or a failure.
    int32_t await_next_bytes(const char* context);
    // Forgets everything of the request before.
    void reset_exchange();
    bool parse_start_options(ArgList& args);
    // Makes the client's socket ready and reads what it sent so far; a
    // failure's text (raised once the channel is up) or "".
    Str prepare_client();
    // One receive from the client without waiting. True when it brought a
    // whole valid request that is looked up in the cache (neither a POST nor
    // an admin request): it is then in request_. Otherwise the bytes stay in
    // request_head_ for receive_request.
    bool read_early_request();
    // The early lookup for a complete head in request_head_ (see above).
    bool take_early_request();
    // Tells the server that the request head is in (its answer are fresh
    // options); false when that failed (printed).
    bool tell_head_complete(const URLRequest& request);
    // The pending report, taken so that fail_new("", text) raises it again.
    static Str taken_report();
    Failure receive_body(URLRequest& request, bool closed);
    void answer_invalid_request();
    // A CONNECT: refused with a short page, or tunnelled until either side
    // closes or `timeout` seconds pass without data.
    void tunnel();
    void refuse_tunnel(int32_t status, const Str& why);
    // Whether the proxy answers this CONNECT itself (`sslcache`, `sslhosts`).
    bool intercepts() const;
    // Answers the CONNECT, speaks TLS with the client as the requested host
    // and serves the one request inside as an absolute https:// request.
    void intercept();
    // Peeks at the client's first byte after the CONNECT: false when it is
    // plainly no TLS handshake.
    bool client_speaks_tls(const char* context);
    // Connects for the tunnel; backlog receives bytes that came with a remote
    // proxy's answer. Failures as for contact_server.
    Failure open_tunnel(Str& backlog, const char* context);
    Failure connect_through_proxy(Str& backlog, const char* context);
    // Over the connection to the remote proxy: its CONNECT to the request's
    // host and port.
    Failure ask_remote_tunnel(const URLRequest& request, Str& backlog, const char* context);
    // An https origin: TLS over the connection made (through the remote
    // proxy's tunnel when there is one), verified for the request's host.
    Failure secure_origin(const URLRequest& request, bool via_proxy, const char* context);
    // The origin connection goes, its TLS session first.
    void drop_server();
    // read_some and send_all on a TLS peer (the origin, or an intercepted client).
    int32_t read_secured(TlsSession& tls, Socket& peer, Failure blame, int32_t want, const char* context,
                         const char* error_message, const char* wait_context, int wait_ms);
    Failure send_secured(TlsSession& tls, Socket& peer, const char* bytes, uint32_t count, const char* context,
                         Failure blame);
    // The TLS session on peer, if it has one.
    TlsSession* tls_on(const Socket& peer) const;
    // Relays both ways; NONE never: the kind says which side ended it
    // (nothing pending when it just closed), INTERNAL when the channel did.
    Failure relay_tunnel(const char* context);
    Failure pass_on(bool from_client, const char* context);
    void decide();
    bool fresh(const GMTdate& now) const;
    // Asks the origin server. True when the cached copy is to be sent (it was
    // unchanged); false when the request was answered or given up.
    bool fetch();
    // The answer comes from the cache file of the lookup; false when the file
    // cannot be used (reported and printed).
    bool open_cache_answer(Source source);
    // Makes reading_ ready: the copy in memory, else the file.
    bool open_cache_file();
    // A small file read whole and offered to the server's copies; null when
    // it is larger or cannot be read (the file is then opened as ever).
    std::shared_ptr<const Str> copy_small_file();
    void answer_error_page(Failure kind);
    void send_and_release();
    bool from_cache() const { return source_ == Source::CACHE || source_ == Source::RENEWED; }
    // False when the server could not be told (printed).
    bool release_after_success();
    void end_of_answer();
    // The body bytes of a complete copy, now under its cache file's name;
    // 0 when there is none (dropped, cut short, or not to be kept).
    uint32_t finish_cache_write();
    // Gives up the copy; the relay goes on. Logged once while copies fail.
    void drop_cache_copy();
    uint64_t ask_for_room(uint64_t wanted);
    // The stored form of the answer head and the URL.
    Str stored_head(const URLRequest& request, bool kept_private) const;
    Failure fail(Failure kind) { return failure_ = kind; }
    // The pending report is printed with `debug` on, else dropped.
    void print_if_debug() const;

    // Waits until socket is ready for events (POLLIN or POLLOUT) while also
    // watching the channel. 0 ready, 1 nothing within timeout_ms, -1 failure
    // (kind 1, reported under context; a failed wait under wait_context).
    int wait_for(Socket& socket, short events, int timeout_ms, const char* context,
                 const char* wait_context);
    int timeout_ms() const;
    // wait_for for a read (or wait_ms, when not negative, instead of
    // `timeout`); false with failure_ set: INTERNAL, or blame after the time.
    bool await(Socket& peer, short events, Failure blame, const char* context, const char* wait_context,
               int wait_ms);
    // "connection to client timed out" or to the server.
    static const char* timeout_text(Failure blame);
    // Waits up to `timeout` seconds (or wait_ms, when not negative) for peer, then receives at most want
    // bytes into buffer_: their count, 0 when the peer closed, -1 on failure
    // (failure_ tells the kind; a read error is chained with error_message).
    int32_t read_some(Socket& peer, Failure blame, int32_t want, const char* context,
                      const char* error_message, const char* wait_context = nullptr,
                      int wait_ms = -1);
    // Sends all bytes; NONE, INTERNAL or blame with a report pending
    // ("connection to ... timed out" after `timeout` seconds without progress).
    // more: see Socket::nbwrite (a TLS peer ignores it).
    Failure send_all(Socket& socket, const char* bytes, uint32_t count, const char* context,
                     Failure blame, bool more = false);
    // A cached answer's piece may wait for what follows it: more of its
    // body, or the end of a connection that is not kept.
    bool more_follows(bool body_left) const;
    Failure connect_to_server(const Str& host, int32_t port, const char* context);
    // Whether this machine's loopback is closed to the client: it is not on
    // it, and services there trust local callers. Through SOCKS the SOCKS
    // server is the one connected, and it decides.
    bool guards_loopback() const;
    // Drops the origin connection: FORBIDDEN, reported.
    Failure refuse_loopback(const URLRequest& request, const char* context);
    Failure read_answer_head(const char* context);
    Failure relay_body(const char* context);
    // For a HEAD fetched with GET (see WHOLE_FOR_HEAD_LIMIT): whether the
    // answer is a page worth keeping whole; otherwise only its head is kept.
    bool page_worth_keeping() const;
    // Reads the whole page into its cache file and releases it there, before
    // the head goes to the client.
    void store_whole_for_head();
    Failure send_from_cache(const char* context);
    // Appends the next block of the cached body to into.
    Failure read_cache_block(Str& into, const char* context);
    // Sends bytes of the body to the client and, when storing, to the cache file.
    // Storing never fails the relay.
    Failure deliver(const char* bytes, uint32_t count, const char* context,
                    const char* client_message);
    void store(const char* bytes, uint32_t count);

    OptionInt icsocket_;
    OptionInt icshared_; // 1: the channel is lent (see ChannelShelf)
    OptionInt socket_;
    OptionInt remip_;
    OptionSet start_options_;

    WorkerOptions options_;
    std::unique_ptr<ParentChannel> channel_;
    std::unique_ptr<Socket> client_;
    uint32_t client_address_ = 0;
    std::unique_ptr<char[]> buffer_;

    HeadAssembler request_head_{HeadAssembler::REQUEST, HeadAssembler::REQUEST_HEAD_LIMIT};
    Str early_failure_;         // report of a failed early receive
    bool early_lookup_ = false; // ReadLock went with GetOptions; its answer is due
    bool head_told_ = false;    // HeadComplete was sent
    int64_t head_deadline_ms_ = 0; // the whole request head is due by then (monotonic)
    URLRequest request_;
    URLAnswer answer_;
    CacheLookup lookup_;
    Source source_ = Source::HELD;
    bool passed_on_ = false; // a 304 of the origin's goes to the client as it is
    Failure failure_ = Failure::NONE;
    bool refused_ = false; // the origin was one of the proxy's own ports
    bool keep_alive_ = false;     // the answer was marked keep-alive
    bool answered_ = false;       // ... and left whole, its locks released
    bool relay_complete_ = false; // the origin's body came to its announced end
    bool whole_for_head_ = false; // a HEAD fetched with GET, its page kept whole
    bool storing_only_ = false;   // the body goes to the cache file, not to the client

    std::unique_ptr<InterNetClient> server_;
    std::unique_ptr<TlsSession> tls_; // on server_, for an https origin
    std::unique_ptr<TlsSession> client_tls_; // on client_, for an intercepted tunnel
    Str inner_origin_; // "https://host:port" of an intercepted tunnel's requests
    GMTdate contact_time_;
    CacheWrite writing_;
    CacheRead reading_;
};
