// A dial-up backend as a shared library, for the test of loading one at run
// time. It has one entry and connects at once. Built a second time without
// RasGetConnectStatusA: a library that lacks one of the five calls.
#include "viewer/app/dialup/RasApi.h"

#include <cstring>

#define EXPORTED extern "C" __attribute__((visibility("default")))

namespace {
RasHandle g_lastHandle = 0;
}

EXPORTED uint32_t RasEnumEntriesA(const char*, const char*, RasEntryName* entries, uint32_t* bytes, uint32_t* count) {
    if (*bytes < sizeof(RasEntryName)) return *bytes = sizeof(RasEntryName), kRasErrorBufferTooSmall;
    std::strcpy(entries[0].entryName, "Module line");
    return *count = 1, 0;
}

EXPORTED uint32_t RasGetErrorStringA(uint32_t error, char* text, uint32_t bytes) {
    if (bytes < 32 || error == 0) return 1;
    return std::strcpy(text, "module error"), 0;
}

EXPORTED uint32_t RasDialA(const void*, const char*, const RasDialParams* params, uint32_t, RasNotifier notifier,
                           RasHandle* handle) {
    *handle = g_lastHandle = 0x77;
    const bool known = std::strcmp(params->entryName, "Module line") == 0;
    notifier(kRasDialEvent, 0, known ? 0 : 623);
    if (known) notifier(kRasDialEvent, kRasStateConnected, 0);
    return 0;
}

EXPORTED uint32_t RasHangUpA(RasHandle handle) {
    if (handle == g_lastHandle) g_lastHandle = 0;
    return 0;
}

#ifndef WITHOUT_CONNECT_STATUS
EXPORTED uint32_t RasGetConnectStatusA(RasHandle handle, RasConnStatus* status) {
    if (handle != g_lastHandle || handle == 0) return kRasErrorInvalidHandle;
    return status->state = kRasStateConnected, 0;
}
#endif
