// The command channel between the server and its request workers: every
// message is a binary object-stream record, a signed 32-bit code followed by
// the fields below, in this order. Anything else from a worker ends its
// channel (CommandServer).
//
//  code  name              direction        fields
//   1    Finished          worker->server   -
//   2    (abort)           server->worker   -  (the worker stops: "aborted by parent")
//   3    ReadLock          worker->server   Str url
//   4    ReadLockAck       server->worker   GMTdate date, Str file, u32 id, u32 bytes,
//                                           bool headeronly, i32 errorcode
//   5    ReleaseReadLock   worker->server   u32 id
//   6    WriteLock         worker->server   Str url, GMTdate date, bool headeronly, i32 errorcode,
//                                           bool private (kept for the worker's client only)
//   7    WriteLockAck      server->worker   Str file, u32 id (0: do not store)
//   8    ReleaseWriteLock  worker->server   u32 id, u32 bytes (0: not stored completely)
//   9    SpecialRequest    worker->server   Str path, list of Str parameters, u32 client address
//  10    SpecialAnswer     server->worker   Str head, Str body
//  14    SpecialAnswer     server->worker   Str cache directory + "/", u32 count, count x u32 ids
//  11    GetOptions        worker->server   -
//  12    Options           server->worker   i32 timeout, bool offline, Str proxyhost,
//                                           i32 proxyport, bool debug, i32 updtime,
//                                           i32 language, Str sockshost, i32 socksport,
//                                           Str socksuser, i32 port, i32 iport
//  13    UpdateCacheDate   worker->server   u32 id, GMTdate date
//  15    HeadComplete      worker->server   bool local (an admin-host or invalid request)
//                                           the request head is in; answered with Options,
//                                           which a connection over maxcon waits for
//  16    MakeRoom          worker->server   u32 bytes wanted on the cache's disk
//  17    RoomMade          server->worker   u32 bytes freed (least recently used evicted)
//  18    KeepWaiting       worker->server   -  the answer went out whole and the client's
//                                           connection stays open for its next request:
//                                           what the worker holds is released, and the
//                                           connection counts as one without a head again
// A lock or search goes by the client address the server accepted.
// A worker thread of the server's own process takes its locks and options
// directly (DirectLink) and uses the channel for the rest: SpecialRequest,
// HeadComplete only beyond maxcon, Finished and the abort.
#pragma once

#include <cstdint>

enum Command : int32_t {
    CMD_FINISHED = 1,
    CMD_ABORT = 2,
    CMD_READ_LOCK = 3,
    CMD_READ_LOCK_ACK = 4,
    CMD_RELEASE_READ_LOCK = 5,
    CMD_WRITE_LOCK = 6,
    CMD_WRITE_LOCK_ACK = 7,
    CMD_RELEASE_WRITE_LOCK = 8,
    CMD_SPECIAL_REQUEST = 9,
    CMD_SPECIAL_ANSWER_PAGE = 10,
    CMD_GET_OPTIONS = 11,
    CMD_OPTIONS = 12,
    CMD_UPDATE_CACHE_DATE = 13,
    CMD_SPECIAL_ANSWER_SEARCH = 14,
    CMD_HEAD_COMPLETE = 15,
    CMD_MAKE_ROOM = 16,
    CMD_ROOM_MADE = 17,
    CMD_KEEP_WAITING = 18,
};
