// ParentChannel: the request worker's end of the command channel to the
// server (message codes in Command.h), a socket handed over by the server
// when it started the worker. The worker reaches the cache database, the
// options and the admin pages only through here. A worker thread of the
// server's own process is given a DirectLink as well: the cache and the
// options are then reached through that, without a message, and the
// channel carries the rest.
//
// Every message leaves in one piece. Answers are read through a ChannelReader,
// so that a record of many fields costs one or two receives, not one per field.
// The server may send code 2 (abort) at any time; a worker that waits on a
// peer therefore also watches handle() and pending(), and calls check().
//
// All int results: 0 success, 1 failure (the worker's kind 1) with a report
// pending under the caller's context: "communication with parent failed",
// "aborted by parent" or "got invalid command from parent".
#pragma once

#include "foundation/ArgList.h"
#include "foundation/ByteStream.h"
#include "foundation/Socket.h"
#include "foundation/Str.h"
#include "http/GMTdate.h"
#include "proxy/server/ChannelStream.h"
#include "proxy/server/DirectLink.h"
#include "proxy/server/WorkerOptions.h"

#include <cstdint>
#include <memory>
#include <vector>

// The answer to a cache lookup. A date that is not specified means "not cached".
struct CacheLookup {
    GMTdate date;
    Str file;
    uint32_t id = 0;
    uint32_t bytes = 0;
    bool headeronly = false;
    int32_t errorcode = 500;
    // The file's bytes, when the server keeps them in memory (see HotFiles).
    std::shared_ptr<const Str> copy;

    bool cached() const { return date.specified(); }
};

// The server's answer to an admin request: a finished page (code 10), or the
// cache directory and entry ids for a full-text search the worker runs (code 14).
struct SpecialAnswer {
    int32_t code = 0;
    Str head;
    Str body;
    Str directory; // ends in "/"
    std::vector<uint32_t> ids;
};

class ParentChannel {
public:
    // Takes handle, the worker's end of the channel, and closes it at the
    // end; a lent one (see ChannelShelf) is left open after Finished, for
    // the next worker.
    explicit ParentChannel(int handle, bool lent = false);
    ~ParentChannel();
    ParentChannel(const ParentChannel&) = delete;
    ParentChannel& operator=(const ParentChannel&) = delete;

    // From now on the cache and the options are reached through link.
    void go_direct(std::unique_ptr<DirectLink> link) { direct_ = std::move(link); }

    bool connected() const { return connected_; }
    int handle() const { return socket_.handle(); }
    // True when bytes from the server wait in the buffer.
    bool pending() const { return reader_.pending(); }
    // The server spoke without being asked: reads the code and reports it
    // ("aborted by parent" for code 2, which also closes the channel).
    int check(const char* context);
    // Closes the channel without telling the server.
    void close();

    // lookup_url: ReadLock for it leaves in the same piece as GetOptions;
    // its answer is then read with read_lock_answer. head_local: ask with
    // HeadComplete instead (the request head is in; true for a request the
    // proxy answers itself), whose answer may wait for a free connection.
    int get_options(WorkerOptions& options, const char* context, const Str* lookup_url = nullptr,
                    const bool* head_local = nullptr);
    int read_lock(const Str& url, CacheLookup& lookup, const char* context);
    int read_lock_answer(CacheLookup& lookup, const char* context);
    // hold: the release leaves together with the next message (the worker's
    // last releases travel with Finished or KeepWaiting, in one piece).
    int release_read_lock(uint32_t id, const char* context, bool hold = false);
    // Whether the cache is reached through a DirectLink: copies of small
    // files are then kept in memory, and the server wakes a worker that
    // waits for its client by shutting the client's connection down.
    bool direct() const { return direct_ != nullptr; }
    // Offers the copy of the file of the read lock held.
    void keep_copy(const CacheLookup& lookup, std::shared_ptr<const Str> copy);
    // kept_private: the document is kept for this worker's client only.
    int write_lock(const Str& url, const GMTdate& date, bool headeronly, int32_t errorcode,
                   bool kept_private, Str& file, uint32_t& id, const char* context);
    // Asks the server to evict least recently used documents for wanted
    // bytes of disk; freed tells what they took.
    int make_room(uint32_t wanted, uint32_t& freed, const char* context);
    int release_write_lock(uint32_t id, uint32_t bytes, const char* context, bool hold = false);
    int update_cache_date(uint32_t id, const GMTdate& date, const char* context);
    int special_request(const Str& path, const ArgList& parameters, uint32_t client_address,
                        SpecialAnswer& answer, const char* context);
    // Sends Finished and shuts the channel down: nothing follows it.
    int finished(const char* context);
    // Sends KeepWaiting (with whatever is held): the client's connection
    // waits for its next request.
    int keep_waiting(const char* context);

private:
    // last: nothing follows on the channel, which is shut down right after.
    int send(const Str& message, const char* context, bool last = false);
    int send_or_hold(const Str& message, bool hold, const char* context);
    // Reads an answer code; anything but expected (or the other code of a
    // two-answer command) is reported.
    int read_code(int32_t expected, int32_t alternative, int32_t& code, const char* context);
    int report_code(int32_t code, const char* context);
    int communication_failed(const char* context);
    // get_options through the DirectLink.
    int direct_options(WorkerOptions& options, const char* context, const Str* lookup_url,
                       const bool* head_local);
    // get_options over the channel: the question and its Options answer.
    int ask_options(WorkerOptions& options, const char* context, const Str* lookup_url,
                    const bool* head_local);

    Socket socket_;
    bool connected_ = false;
    ChannelReader reader_;
    bool lent_ = false;
    Str held_; // messages without an answer, waiting for the next send
    std::unique_ptr<DirectLink> direct_;
    Str early_url_; // looked up through the link when its answer is read
};
