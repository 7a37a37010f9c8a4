#include "proxy/server/CommandServer.h"

#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "http/GMTdate.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/cache/Cache.h"
#include "proxy/options/RelaisOptions.h"
#include "proxy/server/ChannelStream.h"
#include "proxy/server/Command.h"
#include "proxy/server/ServerShare.h"

namespace {

constexpr const char* REPORTER = "Relais: ";
// A worker holds at most one read and one write lock and gives back or
// renews only its own: anything else would leave locks that no Finished
// releases, or take away another worker's.
int32_t lock_misused() {
    fail_new(REPORTER, "invalid lock use by child");
    return 1;
}

// The errorcode of a document that is not cached.
constexpr int32_t NOT_CACHED_ERRORCODE = 500;

} // namespace

int32_t CommandServer::serve(Connection& record, ConnectionTable& table) {
    CmdSocket& channel = *record.channel;
    if (record.ended) {
        if (channel.discard()) table.remove(record.id);
        return 0;
    }
    channel.begin_record();
    BinarySource source(channel);
    int32_t code = 0;
    source >> code;
    if (source.error()) {
        if (record.dropped) { // the aborted worker has gone, as expected
            fail_take();
            finished(record, table);
            return 0;
        }
        fail_chain(REPORTER, "failed to get command from child");
        end_channel(record, table);
        return 0;
    }
    int32_t result = 0;
    switch (code) {
    case CMD_FINISHED:
        finished(record, table);
        return 0; // the record is gone
    case CMD_KEEP_WAITING:
        keep_waiting(record);
        break;
    case CMD_READ_LOCK:
        result = read_lock(record);
        break;
    case CMD_RELEASE_READ_LOCK:
        result = release_read_lock(record);
        break;
    case CMD_WRITE_LOCK:
        result = write_lock(record);
        break;
    case CMD_RELEASE_WRITE_LOCK:
        result = release_write_lock(record);
        break;
    case CMD_SPECIAL_REQUEST:
        result = special_request(record);
        break;
    case CMD_GET_OPTIONS:
        result = get_options(record);
        break;
    case CMD_MAKE_ROOM:
        result = make_room(record);
        break;
    case CMD_UPDATE_CACHE_DATE:
        result = update_cache_date(record);
        break;
    case CMD_HEAD_COMPLETE:
        result = head_complete(record);
        if (result == 0 && record.parked) return 0; // nothing more is read from it for now
        break;
    default:
        fail_new(REPORTER, "received invalid data from child");
        result = 1;
        break;
    }
    if (result < 0) return result;
    if (result > 0) {
        end_channel(record, table);
        return 0;
    }
    // A held answer waits for no more than the next command, whether that
    // one was answered or not.
    int32_t next = 0;
    if (channel.holding() && !(channel.next_code(next) && is_question(next)))
        send_held(record, Str(), nullptr);
    return 0;
}

void CommandServer::release_locks(Connection& record) {
    if (record.read_lock != 0) cache_.release_read_lock(record.read_lock);
    if (record.write_lock != 0) cache_.release_write_lock(record.write_lock, 0);
    record.read_lock = record.write_lock = 0;
}

// Whatever the worker still holds is released: a write lock with 0 bytes,
// so that a document not stored completely does not count as cached.
void CommandServer::finished(Connection& record, ConnectionTable& table) {
    release_locks(record);
    if (!record.dropped && !record.ended) record.channel->finished_cleanly();
    table.remove(record.id);
}

// The connection waits for its next request: nothing of the last one stays
// held, and while no head has come it may give way to a new browser like
// any connection that is slow to send its request.
void CommandServer::keep_waiting(Connection& record) {
    release_locks(record);
    record.state->await_head();
}

void CommandServer::end_channel(Connection& record, ConnectionTable& table) {
    fail_chain(REPORTER, "closing channel to child");
    fail_print();
    release_locks(record);
    if (record.client) record.client->shutdown();
    record.channel->close_for_writing();
    record.ended = true;
    if (record.channel->discard()) table.remove(record.id);
}

int32_t CommandServer::read_lock(Connection& record) {
    BinarySource source(*record.channel);
    Str url;
    source >> url;
    if (source.error()) {
        fail_chain(REPORTER, "unable to read ReadLock from child");
        return 1;
    }
    if (record.read_lock != 0) return lock_misused();
    GMTdate date; // not specified until the cache knows the url
    Str file_name;
    uint32_t id = 0;
    uint32_t bytes = 0;
    bool headeronly = false;
    int32_t errorcode = NOT_CACHED_ERRORCODE;
    cache_.get_read_lock(url, record.client_address, date, file_name, id, bytes, headeronly,
                         errorcode);
    record.read_lock = id;

    MessageBuffer message;
    BinaryDrain drain(message);
    drain << int32_t(CMD_READ_LOCK_ACK) << date << file_name << id << bytes << headeronly
          << errorcode;
    send(record, message.bytes, "unable to send ReadLockAck to child");
    return 0;
}

int32_t CommandServer::release_read_lock(Connection& record) {
    BinarySource source(*record.channel);
    uint32_t id = 0;
    source >> id;
    if (source.error()) {
        fail_chain(REPORTER, "unable to read ReleaseReadLock from child");
        return 1;
    }
    if (id == 0 || id != record.read_lock) return lock_misused();
    record.read_lock = 0;
    cache_.release_read_lock(id);
    return 0;
}

int32_t CommandServer::write_lock(Connection& record) {
    BinarySource source(*record.channel);
    Str url;
    GMTdate date;
    bool headeronly = false;
    int32_t errorcode = 0;
    bool kept_private = false;
    source >> url >> date >> headeronly >> errorcode >> kept_private;
    if (source.error()) {
        fail_chain(REPORTER, "unable to read WriteLock from child");
        return 1;
    }
    if (record.write_lock != 0) return lock_misused();
    Str file_name;
    uint32_t id = 0;
    uint32_t owner = kept_private ? record.client_address : SHARED;
    cache_.get_write_lock(url, date, headeronly, errorcode, owner, file_name, id);
    record.write_lock = id;

    MessageBuffer message;
    BinaryDrain drain(message);
    drain << int32_t(CMD_WRITE_LOCK_ACK) << file_name << id;
    send(record, message.bytes, "unable to send WriteLockAck to child");
    return 0;
}

int32_t CommandServer::release_write_lock(Connection& record) {
    BinarySource source(*record.channel);
    uint32_t id = 0;
    uint32_t bytes = 0;
    source >> id >> bytes;
    if (source.error()) {
        fail_chain(REPORTER, "unable to read ReleaseWriteLock from child");
        return 1;
    }
    if (id == 0 || id != record.write_lock) return lock_misused();
    record.write_lock = 0;
    cache_.release_write_lock(id, bytes);
    return 0;
}

int32_t CommandServer::special_request(Connection& record) {
    BinarySource source(*record.channel);
    Str path;
    ArgList arguments;
    uint32_t client = 0;
    source >> path >> arguments >> client;
    if (source.error()) {
        fail_chain(REPORTER, "unable to read SpecialRequest from child");
        return 1;
    }
    (void)client; // the address accepted counts, not what the worker says
    AdminAnswer answer = admin_.answer(path, arguments, record.client_address);
    if (share_) share_->publish(worker_options(options_, authority_directory(admin_.site())));

    MessageBuffer message;
    BinaryDrain drain(message);
    if (answer.kind == AdminAnswer::PAGE) {
        drain << int32_t(CMD_SPECIAL_ANSWER_PAGE) << answer.head << answer.body;
    } else if (answer.kind == AdminAnswer::SEARCH) {
        Str directory;
        std::vector<uint32_t> ids;
        if (cache_.get_all_ids(directory, ids, record.client_address) < 0) {
            fail_chain(REPORTER, "unable to create ID-array");
            return -1;
        }
        drain << int32_t(CMD_SPECIAL_ANSWER_SEARCH) << directory << uint32_t(ids.size());
        if (!ids.empty()) drain.write_array(ids.data(), uint32_t(ids.size()));
    } else {
        return 0;
    }
    send(record, message.bytes, "unable to send SpecialAnswer to child");
    return 0;
}

int32_t CommandServer::make_room(Connection& record) {
    BinarySource source(*record.channel);
    uint32_t wanted = 0;
    source >> wanted;
    if (source.error()) {
        fail_chain(REPORTER, "unable to read MakeRoom from child");
        return 1;
    }
    uint64_t freed = cache_.make_room(wanted);
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_ROOM_MADE)
                         << uint32_t(freed > UINT32_MAX ? UINT32_MAX : freed);
    send(record, message.bytes, "unable to send RoomMade to child");
    return 0;
}

int32_t CommandServer::get_options(Connection& record) {
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_OPTIONS)
                         << worker_options(options_, authority_directory(admin_.site()));
    send(record, message.bytes, "unable to send options to child");
    return 0;
}

int32_t CommandServer::head_complete(Connection& record) {
    BinarySource source(*record.channel);
    bool local = false;
    source >> local;
    if (source.error()) {
        fail_chain(REPORTER, "unable to read HeadComplete from child");
        return 1;
    }
    record.state->take_head();
    if (record.state->reserve() && !local) {
        record.parked = true;
        return 0;
    }
    return get_options(record);
}

void CommandServer::resume(Connection& record) {
    record.parked = false;
    (void)get_options(record);
}

bool CommandServer::drop(Connection& record) {
    if (!record.state->drop()) return false;
    record.dropped = true;
    if (options_.debug.value()) {
        fail_new(REPORTER, "all connections taken: dropped connection " +
                               Str::from_long(record.id) + ", its request head incomplete");
        fail_print();
    }
    // A worker waiting for its client's next request sleeps in the receive.
    if (record.client) record.client->stop_receiving();
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_ABORT);
    // A worker that has gone already ends the channel all the same.
    record.channel->send_with_held(message.bytes);
    return true;
}

int32_t CommandServer::update_cache_date(Connection& record) {
    BinarySource source(*record.channel);
    uint32_t id = 0;
    GMTdate date;
    source >> id >> date;
    if (source.error()) {
        fail_chain(REPORTER, "unable to read UpdateCacheDate from child");
        return 1;
    }
    if (id == 0 || id != record.read_lock) return lock_misused();
    cache_.update_cache_date(id, date);
    return 0;
}

// The worker's next question is already here (it asked two at once): this
// answer waits for that one's, and both leave together.
void CommandServer::send(Connection& record, const Str& message, const char* failure_text) {
    CmdSocket& channel = *record.channel;
    int32_t next = 0;
    if (channel.next_code(next) && is_question(next)) {
        channel.hold(message, failure_text);
        return;
    }
    send_held(record, message, failure_text);
}

void CommandServer::send_held(Connection& record, const Str& message, const char* failure_text) {
    CmdSocket& channel = *record.channel;
    if (channel.send_with_held(message)) return;
    for (const char* held : channel.failures()) {
        fail_new(REPORTER, held);
        fail_print();
    }
    if (failure_text) {
        fail_new(REPORTER, failure_text);
        fail_print();
    }
}

bool CommandServer::is_question(int32_t code) {
    return code == CMD_READ_LOCK || code == CMD_WRITE_LOCK || code == CMD_SPECIAL_REQUEST ||
           code == CMD_GET_OPTIONS || code == CMD_HEAD_COMPLETE || code == CMD_MAKE_ROOM;
}
