#include "FakeRas.h"

#include <cstring>

namespace {
constexpr uint32_t kWrongRecord = 632;
}

uint32_t FakeRas::RasEnumEntriesA(const char*, const char* phoneBook, RasEntryName* buffer, uint32_t* bytes,
                                  uint32_t* count) {
    std::lock_guard<std::mutex> guard(mutex_);
    enumBufferSizes_.push_back(*bytes);
    if (enumError) return enumError;
    uint32_t needed = static_cast<uint32_t>(entries.size() * sizeof(RasEntryName));
    if (phoneBook || (*bytes > 0 && buffer[0].size != sizeof(RasEntryName))) return kWrongRecord;
    if (*bytes < needed) {
        *bytes = needed;
        return kRasErrorBufferTooSmall;
    }
    for (size_t i = 0; i < entries.size(); i++) std::strncpy(buffer[i].entryName, entries[i].c_str(), kRasNameLength);
    *count = static_cast<uint32_t>(entries.size());
    return 0;
}

uint32_t FakeRas::RasGetErrorStringA(uint32_t error, char* text, uint32_t bytes) {
    auto found = errorTexts.find(error);
    if (found == errorTexts.end() || bytes < kRasErrorTextBytes) return 1;
    std::strncpy(text, found->second.c_str(), bytes - 1);
    text[bytes - 1] = '\0';
    return 0;
}

uint32_t FakeRas::RasDialA(const void* extensions, const char* phoneBook, const RasDialParams* params,
                           uint32_t notifierType, RasNotifier notifier, RasHandle* handle) {
    if (extensions || phoneBook || notifierType != 0 || params->size != sizeof(RasDialParams)) return kWrongRecord;
    JoinStates();
    {
        std::lock_guard<std::mutex> guard(mutex_);
        dials_.push_back(std::string(params->entryName) + "|" + params->userName + "|" + params->password + "|" +
                         params->domain);
        *handle = nextHandle_++;
    }
    lastNotifier_ = notifier;
    if (dialResult != 0 || !answerDial) return dialResult;
    states_ = std::thread([script = states, error = stateError, notifier] {
        for (size_t i = 0; i < script.size(); i++) notifier(kRasDialEvent, script[i], i + 1 == script.size() ? error : 0);
    });
    return 0;
}

uint32_t FakeRas::RasHangUpA(RasHandle handle) {
    std::lock_guard<std::mutex> guard(mutex_);
    hangUps_.push_back(handle);
    looksAfterHangUp_[handle] = 0;
    return 0;
}

uint32_t FakeRas::RasGetConnectStatusA(RasHandle handle, RasConnStatus* status) {
    std::lock_guard<std::mutex> guard(mutex_);
    statusPolls_++;
    if (status->size != sizeof(RasConnStatus)) return kWrongRecord;
    // The line is gone on the second look after the hang-up.
    auto hungUp = looksAfterHangUp_.find(handle);
    if (hungUp != looksAfterHangUp_.end() && ++hungUp->second >= 2) return kRasErrorInvalidHandle;
    status->state = kRasStateConnected;
    return 0;
}
