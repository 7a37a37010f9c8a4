// The dial-up backend: a shared library, loaded at run time, that dials and
// hangs up connections for the program. It exports the five calls below with
// C linkage under these names; RasLibrary looks them up, tests put a fake
// behind the same interface. Return values: 0 for success, else an error
// number that RasGetErrorStringA can turn into a text.
#pragma once

#include <cstdint>

using RasHandle = uintptr_t;  // 0: no connection

// Called with kRasDialEvent for every state the dial reaches, on a thread of
// the backend's own; error 0 means the state was reached.
using RasNotifier = void (*)(uint32_t message, uint32_t state, uint32_t error);

constexpr uint32_t kRasDialEvent = 0xCCCD;
constexpr uint32_t kRasStateConnected = 8192;
constexpr uint32_t kRasStateDisconnected = 8193;

constexpr uint32_t kRasErrorInvalidHandle = 6;
constexpr uint32_t kRasErrorBufferTooSmall = 603;

constexpr uint32_t kRasNameLength = 256;      // longest name, without its terminating zero
constexpr uint32_t kRasErrorTextBytes = 256;  // buffer handed to RasGetErrorStringA

// One phone-book entry as RasEnumEntriesA fills it; size must be set to
// sizeof(RasEntryName) by the caller.
struct RasEntryName {
    uint32_t size;
    char entryName[kRasNameLength + 1];
};
static_assert(sizeof(RasEntryName) == 264);

// What to dial; every field zero except those that are passed.
struct RasDialParams {
    uint32_t size;
    char entryName[kRasNameLength + 1];
    char userName[kRasNameLength + 1];
    char password[kRasNameLength + 1];
    char domain[kRasNameLength + 1];
};

struct RasConnStatus {
    uint32_t size;
    uint32_t state;
    uint32_t error;
    char deviceName[148];
};
static_assert(sizeof(RasConnStatus) == 160);

extern "C" {
// entries: a buffer of *bytes bytes. When it is too small the call answers
// kRasErrorBufferTooSmall and sets *bytes to the size it needs.
using RasEnumEntriesFn = uint32_t (*)(const char* reserved, const char* phoneBook, RasEntryName* entries,
                                      uint32_t* bytes, uint32_t* count);
using RasGetErrorStringFn = uint32_t (*)(uint32_t error, char* text, uint32_t bytes);
using RasDialFn = uint32_t (*)(const void* extensions, const char* phoneBook, const RasDialParams* params,
                               uint32_t notifierType, RasNotifier notifier, RasHandle* handle);
using RasHangUpFn = uint32_t (*)(RasHandle handle);
using RasGetConnectStatusFn = uint32_t (*)(RasHandle handle, RasConnStatus* status);
}

class RasApi {
public:
    virtual ~RasApi() = default;

    // True when the backend is there and has all five calls; a backend that
    // was missing is looked for again.
    virtual bool Load() = 0;

    virtual uint32_t RasEnumEntriesA(const char* reserved, const char* phoneBook, RasEntryName* entries,
                                     uint32_t* bytes, uint32_t* count) = 0;
    virtual uint32_t RasGetErrorStringA(uint32_t error, char* text, uint32_t bytes) = 0;
    virtual uint32_t RasDialA(const void* extensions, const char* phoneBook, const RasDialParams* params,
                              uint32_t notifierType, RasNotifier notifier, RasHandle* handle) = 0;
    virtual uint32_t RasHangUpA(RasHandle handle) = 0;
    virtual uint32_t RasGetConnectStatusA(RasHandle handle, RasConnStatus* status) = 0;
};
