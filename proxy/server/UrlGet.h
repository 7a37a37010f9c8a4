// UrlGet: the request worker. One worker serves exactly one browser
// connection: it reads one HTTP/1.0 proxy request, answers it from the cache,
// from the origin server (direct, through a remote proxy or a SOCKS4 server)
// or from the proxy's own pages, stores what it relays, and ends. It reaches
// the cache database and the options only through the command channel to the
// server (ParentChannel); it uses the client's handle without owning it.
//
// The whole request is handled by the constructor; the destructor tells the
// server that the worker has finished, and the server then releases any lock
// left and closes the client connection.
//
// Methods that can fail return 0 or the failure kind, with a report pending:
//   1 channel or internal, 2 client side, 3 origin-server side.
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
#include "proxy/server/ParentChannel.h"

#include <cstdint>
#include <memory>

// The worker's program entry, called for the argument "-urlget" with the
// remaining arguments ("-socket" handle, "-remip" address, "-icport" port).
// The whole request is handled before it returns; the result is always 0.
int urlget_main(const Str& program_name, ArgList& args);

class UrlGet {
public:
    // Every socket read and the cache-file buffers use this size.
    static constexpr int32_t TRANSFER_BUFFER_SIZE = 65536;
    static constexpr uint32_t REQUEST_HEAD_LIMIT = 8192;
    static constexpr uint32_t REQUEST_BODY_LIMIT = 32768;
    static constexpr uint32_t ANSWER_HEAD_LIMIT = 8192;

    enum Failure : int { NONE = 0, INTERNAL = 1, CLIENT = 2, ORIGIN = 3 };

    UrlGet(const Str& program_name, ArgList& args);
    ~UrlGet();
    UrlGet(const UrlGet&) = delete;
    UrlGet& operator=(const UrlGet&) = delete;

    int receive_request(URLRequest& request);
    int lookup_cache(URLRequest& request);
    int create_answer_to_special_request(URLRequest& request);
    int contact_server(URLRequest& request);
    int try_write_init(URLRequest& request);
    int update_cache_date(const GMTdate& date);
    int send_answer_to_client(URLRequest& request);

private:
    bool start(ArgList& args);
    // One receive from the client without waiting. True when it brought a
    // whole valid request that is looked up in the cache (neither a POST nor
    // an admin request): it is then in request_. Otherwise the bytes stay
    // for receive_request.
    bool read_early_request();
    // The pending report, taken so that fail_new("", text) raises it again.
    static Str taken_report();
    void serve();
    void decide();
    // The answer comes from the cache file of the lookup; false when the file
    // cannot be used (reported and printed).
    bool open_cache_answer();
    void answer_error_page(int kind);
    void send_and_release();
    // The client's side of the connection is shut down when the answer is sent.
    bool ends_early() const;
    void release_after_success();
    void close_output_file(uint32_t& stored);
    int fail(int kind) { failure_ = kind; return kind; }

    // Waits until socket is ready for events (POLLIN or POLLOUT) while also
    // watching the channel. 0 ready, 1 nothing within timeout_ms, -1 failure
    // (kind 1, reported under context; a failed wait under wait_context).
    int wait_for(Socket& socket, short events, int timeout_ms, const char* context,
                 const char* wait_context);
    int timeout_ms() const;
    // Sends all bytes; 0, or the kind of the failure (1 channel, 2 the peer)
    // with a report pending ("connection to ... timed out" after timeout
    // seconds without progress).
    int send_all(Socket& socket, const char* bytes, uint32_t count, const char* context,
                 const char* timeout_message, Failure peer_kind);
    int connect_to_server(const Str& host, int32_t port, const char* context);
    int read_answer_head(const char* context);
    int relay_body(const char* context);
    int send_from_cache(const char* context);
    // Appends the next block of the cached body to into.
    int read_cache_block(Str& into, const char* context);
    // Sends bytes of the body to the client and, when storing, to the cache file.
    int deliver(const char* bytes, uint32_t count, const char* context, const char* client_message);
    int store(const char* bytes, uint32_t count, const char* context);

    OptionInt icport_;
    OptionInt socket_;
    OptionInt remip_;
    OptionSet start_options_;

    WorkerOptions options_;
    std::unique_ptr<ParentChannel> channel_;
    std::unique_ptr<Socket> client_;
    uint32_t client_address_ = 0;
    std::unique_ptr<char[]> buffer_;

    URLRequest request_;
    URLAnswer answer_;
    CacheLookup lookup_;
    bool relaying_ = false;
    bool storing_ = false;
    bool from_cache_ = false;
    int32_t early_bytes_ = 0;  // read ahead into buffer_, not yet taken
    Str early_failure_;        // report of a failed early receive
    bool request_received_ = false;
    bool lookup_asked_ = false; // ReadLock went with GetOptions; its answer is due
    bool cache_date_sent_ = false;
    uint32_t bytes_done_ = 0;
    int failure_ = NONE;

    std::unique_ptr<InterNetClient> server_;
    GMTdate contact_time_;
    uint32_t write_id_ = 0;
    std::unique_ptr<IFileStream> in_file_;
    std::unique_ptr<BufReadable> in_buffer_;
    std::unique_ptr<OFileStream> out_file_;
    std::unique_ptr<BufWriteable> out_buffer_;
};
