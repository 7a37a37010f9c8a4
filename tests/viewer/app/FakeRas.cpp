#include "FakeRas.h"

#include <cstring>

FakeRas::~FakeRas() {
    JoinStates();
}

void FakeRas::JoinStates() {
    if (states_.joinable()) states_.join();
}

bool FakeRas::Load() {
    loads_++;
    return available;
}

std::vector<FakeRas::DialCall> FakeRas::Dials() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return dials_;
}

std::vector<RasHandle> FakeRas::HangUps() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return hangUps_;
}

int FakeRas::EnumCalls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(enumBufferSizes_.size());
}

std::vector<uint32_t> FakeRas::EnumBufferSizes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return enumBufferSizes_;
}

int FakeRas::StatusPolls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return statusPolls_;
}

uint32_t FakeRas::RasEnumEntriesA(const char*, const char*, RasEntryName* buffer, uint32_t* bytes,
                                  uint32_t* count) {
    std::lock_guard<std::mutex> guard(mutex_);
    enumBufferSizes_.push_back(*bytes);
    if (enumError) return enumError;
    uint32_t needed = static_cast<uint32_t>(entries.size() * sizeof(RasEntryName));
    if (*bytes < needed) {
        *bytes = needed;
        return kRasErrorBufferTooSmall;
    }
    for (size_t i = 0; i < entries.size(); i++) {
        if (buffer[i].size != sizeof(RasEntryName)) return 632;  // wrong record size
        std::strncpy(buffer[i].entryName, entries[i].c_str(), kRasNameLength);
    }
    *count = static_cast<uint32_t>(entries.size());
    return 0;
}

uint32_t FakeRas::RasGetErrorStringA(uint32_t error, char* text, uint32_t bytes) {
    auto found = errorTexts.find(error);
    if (found == errorTexts.end() || bytes == 0) return 1;
    std::strncpy(text, found->second.c_str(), bytes - 1);
    text[bytes - 1] = '\0';
    return 0;
}

uint32_t FakeRas::RasDialA(const void* extensions, const char* phoneBook, const RasDialParams* params,
                           uint32_t notifierType, RasNotifier notifier, RasHandle* handle) {
    JoinStates();
    RasHandle made;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        DialCall call;
        call.size = params->size;
        call.entryName = params->entryName;
        call.userName = params->userName;
        call.password = params->password;
        call.domain = params->domain;
        call.notifierType = notifierType;
        call.phoneBookGiven = phoneBook != nullptr;
        call.extensionsGiven = extensions != nullptr;
        dials_.push_back(call);
        made = nextHandle_++;
    }
    *handle = made;
    lastNotifier_ = notifier;
    if (dialResult != 0) return dialResult;
    if (!answerDial) return 0;
    std::vector<uint32_t> script = states;
    uint32_t error = stateError;
    states_ = std::thread([script, error, notifier] {
        for (size_t i = 0; i < script.size(); i++) {
            bool last = i + 1 == script.size();
            notifier(kRasDialEvent, script[i], last ? error : 0);
        }
    });
    return 0;
}

uint32_t FakeRas::RasHangUpA(RasHandle handle) {
    std::lock_guard<std::mutex> guard(mutex_);
    hangUps_.push_back(handle);
    hungUp_.insert(handle);
    return 0;
}

uint32_t FakeRas::RasGetConnectStatusA(RasHandle handle, RasConnStatus* status) {
    std::lock_guard<std::mutex> guard(mutex_);
    statusPolls_++;
    if (status->size != sizeof(RasConnStatus)) return 632;
    // The line is gone on the second look after the hang-up.
    if (hungUp_.count(handle) && ++pollsAfterHangUp_[handle] >= 2) return kRasErrorInvalidHandle;
    status->state = kRasStateConnected;
    return 0;
}
