#include "proxy/server/ParentChannel.h"

#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "proxy/server/Command.h"

#include <cerrno>
#include <sys/socket.h>

ParentChannel::ParentChannel(int handle, bool lent)
    : socket_(handle, lent), reader_(handle), lent_(lent) {
    // The socket stays blocking: a read or write here waits in the receive
    // or send itself, not in a poll before it. Waits that also watch the
    // client or the origin poll the handle, whatever its mode.
    connected_ = true;
}

// A lent channel still open was not ended by Finished: the server must see
// its end, and the channel is not used again.
ParentChannel::~ParentChannel() {
    close();
}

void ParentChannel::close() {
    if (!connected_) return;
    connected_ = false;
    socket_.shutdown();
}

int ParentChannel::communication_failed(const char* context) {
    fail_chain(context, "communication with parent failed");
    return 1;
}

int ParentChannel::send(const Str& message, const char* context, bool last) {
    if (!connected_) return communication_failed(context);
    // Messages held back leave first, in the same piece.
    const Str* out = &message;
    Str joined;
    if (!held_.empty()) {
        joined = held_;
        joined += message;
        held_ = Str();
        out = &joined;
    }
    // The last message waits for the end of the channel, which then
    // travels in the same segment.
    int flags = last ? MSG_NOSIGNAL | MSG_MORE : MSG_NOSIGNAL;
    uint32_t sent = 0;
    while (sent < out->length()) {
        ssize_t n = ::send(socket_.handle(), out->data() + sent, out->length() - sent, flags);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return communication_failed(context);
        sent += uint32_t(n);
    }
    return 0;
}

int ParentChannel::send_or_hold(const Str& message, bool hold, const char* context) {
    if (!hold) return send(message, context);
    if (!connected_) return communication_failed(context);
    held_ += message;
    return 0;
}

int ParentChannel::report_code(int32_t code, const char* context) {
    if (code == CMD_ABORT) {
        close();
        fail_new(context, "aborted by parent");
    } else {
        fail_new(context, "got invalid command from parent");
    }
    return 1;
}

int ParentChannel::read_code(int32_t expected, int32_t alternative, int32_t& code,
                             const char* context) {
    if (!connected_) return communication_failed(context);
    BinarySource source(reader_);
    code = 0;
    source >> code;
    if (source.error()) return communication_failed(context);
    if (code != expected && code != alternative) return report_code(code, context);
    return 0;
}

int ParentChannel::check(const char* context) {
    int32_t code = 0;
    if (read_code(0, 0, code, context) != 0) return 1;
    return report_code(code, context); // code 0 is no command either
}

int ParentChannel::get_options(WorkerOptions& o, const char* context, const Str* lookup_url,
                               const bool* head_local) {
    if (direct_) return direct_options(o, context, lookup_url, head_local);
    return ask_options(o, context, lookup_url, head_local);
}

int ParentChannel::ask_options(WorkerOptions& o, const char* context, const Str* lookup_url,
                               const bool* head_local) {
    MessageBuffer message;
    if (head_local)
        BinaryDrain(message) << int32_t(CMD_HEAD_COMPLETE) << *head_local;
    else
        BinaryDrain(message) << int32_t(CMD_GET_OPTIONS);
    if (lookup_url) BinaryDrain(message) << int32_t(CMD_READ_LOCK) << *lookup_url;
    if (send(message.bytes, context) != 0) return 1;
    int32_t code = 0;
    if (read_code(CMD_OPTIONS, CMD_OPTIONS, code, context) != 0) return 1;
    BinarySource source(reader_);
    source >> o;
    if (source.error()) return communication_failed(context);
    return 0;
}

int ParentChannel::direct_options(WorkerOptions& o, const char* context, const Str* lookup_url,
                                  const bool* head_local) {
    if (head_local && direct_->must_wait_for_slot(*head_local)) {
        // Only the server's loop can give the slot; the lookup stays direct.
        if (ask_options(o, context, nullptr, head_local) != 0) return 1;
    } else {
        // The server's abort is on its way: the connection's place is gone.
        if (head_local && !direct_->take_head()) return report_code(CMD_ABORT, context);
        direct_->options(o);
    }
    if (lookup_url) early_url_ = *lookup_url;
    return 0;
}

int ParentChannel::read_lock(const Str& url, CacheLookup& lookup, const char* context) {
    if (direct_) return direct_->read_lock(url, lookup, context);
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_READ_LOCK) << url;
    if (send(message.bytes, context) != 0) return 1;
    return read_lock_answer(lookup, context);
}

int ParentChannel::read_lock_answer(CacheLookup& lookup, const char* context) {
    if (direct_) return direct_->read_lock(early_url_, lookup, context);
    int32_t code = 0;
    if (read_code(CMD_READ_LOCK_ACK, CMD_READ_LOCK_ACK, code, context) != 0) return 1;
    BinarySource source(reader_);
    source >> lookup.date >> lookup.file >> lookup.id >> lookup.bytes >> lookup.headeronly >>
        lookup.errorcode;
    if (source.error()) return communication_failed(context);
    return 0;
}

int ParentChannel::release_read_lock(uint32_t id, const char* context, bool hold) {
    if (direct_) return direct_->release_read_lock(id, context);
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_RELEASE_READ_LOCK) << id;
    return send_or_hold(message.bytes, hold, context);
}

int ParentChannel::write_lock(const Str& url, const GMTdate& date, bool headeronly,
                              int32_t errorcode, bool kept_private, Str& file, uint32_t& id,
                              const char* context) {
    if (direct_)
        return direct_->write_lock(url, date, headeronly, errorcode, kept_private, file, id, context);
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_WRITE_LOCK) << url << date << headeronly << errorcode
                         << kept_private;
    if (send(message.bytes, context) != 0) return 1;
    int32_t code = 0;
    if (read_code(CMD_WRITE_LOCK_ACK, CMD_WRITE_LOCK_ACK, code, context) != 0) return 1;
    BinarySource source(reader_);
    source >> file >> id;
    if (source.error()) return communication_failed(context);
    return 0;
}

void ParentChannel::keep_copy(const CacheLookup& lookup, std::shared_ptr<const Str> copy) {
    if (direct_) direct_->keep_copy(lookup, std::move(copy));
}

int ParentChannel::release_write_lock(uint32_t id, uint32_t bytes, const char* context, bool hold) {
    if (direct_) return direct_->release_write_lock(id, bytes, context);
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_RELEASE_WRITE_LOCK) << id << bytes;
    return send_or_hold(message.bytes, hold, context);
}

int ParentChannel::make_room(uint32_t wanted, uint32_t& freed, const char* context) {
    if (direct_) return direct_->make_room(wanted, freed, context);
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_MAKE_ROOM) << wanted;
    if (send(message.bytes, context) != 0) return 1;
    int32_t code = 0;
    if (read_code(CMD_ROOM_MADE, CMD_ROOM_MADE, code, context) != 0) return 1;
    BinarySource source(reader_);
    source >> freed;
    if (source.error()) return communication_failed(context);
    return 0;
}

int ParentChannel::update_cache_date(uint32_t id, const GMTdate& date, const char* context) {
    if (direct_) return direct_->update_cache_date(id, date, context);
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_UPDATE_CACHE_DATE) << id << date;
    return send(message.bytes, context);
}

int ParentChannel::special_request(const Str& path, const ArgList& parameters,
                                   uint32_t client_address, SpecialAnswer& answer,
                                   const char* context) {
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_SPECIAL_REQUEST) << path << parameters << client_address;
    if (send(message.bytes, context) != 0) return 1;
    if (read_code(CMD_SPECIAL_ANSWER_PAGE, CMD_SPECIAL_ANSWER_SEARCH, answer.code, context) != 0)
        return 1;
    BinarySource source(reader_);
    if (answer.code == CMD_SPECIAL_ANSWER_PAGE) {
        source >> answer.head >> answer.body;
    } else {
        uint32_t count = 0;
        source >> answer.directory >> count;
        // The ids arrive in one piece of known size; a count beyond what the
        // channel could carry is a broken stream, not a reason to allocate.
        constexpr uint32_t MAX_IDS = 1u << 26;
        if (!source.error() && count <= MAX_IDS) {
            answer.ids.resize(count);
            if (count > 0 && source.read_array(answer.ids.data(), count) != 0) source.set_error();
        } else {
            source.set_error();
        }
    }
    if (source.error()) return communication_failed(context);
    return 0;
}

int ParentChannel::keep_waiting(const char* context) {
    if (direct_) {
        direct_->await_head();
        return 0;
    }
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_KEEP_WAITING);
    return send(message.bytes, context);
}

int ParentChannel::finished(const char* context) {
    direct_.reset(); // its locks go before the server hears the end
    MessageBuffer message;
    BinaryDrain(message) << int32_t(CMD_FINISHED);
    if (send(message.bytes, context, !lent_) != 0) return 1;
    // Nothing follows Finished; a lent channel stays open for the next worker.
    if (lent_)
        connected_ = false;
    else
        close();
    return 0;
}
