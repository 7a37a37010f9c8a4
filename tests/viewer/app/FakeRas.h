// A dial-up backend for tests behind the same interface as the real one: it
// refuses calls a real backend would refuse (wrong record sizes, a phone book
// or extensions it was not given), records every call and dials from a
// script, reporting the states on a thread of its own as a real backend does.
#pragma once

#include "viewer/app/dialup/RasApi.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeRas : public RasApi {
public:
    static constexpr uint32_t kWrongRecord = 632;

    ~FakeRas() override { JoinStates(); }

    // What the backend does.
    bool available = true;
    std::vector<std::string> entries;
    uint32_t enumError = 0;   // answered by RasEnumEntriesA
    uint32_t dialResult = 0;  // answered by RasDialA
    std::vector<uint32_t> states{0, 1, 2, 3, 4, 5, 14, kRasStateConnected};
    uint32_t stateError = 0;  // reported with the last state instead of success
    bool answerDial = true;   // false: no state is ever reported
    std::map<uint32_t, std::string> errorTexts;  // RasGetErrorStringA; others fail

    // What happened: each dial as "entry|user|password|domain", the handles
    // hung up, the looks at the line.
    std::vector<std::string> Dials() const { return Locked(dials_); }
    std::vector<RasHandle> HangUps() const { return Locked(hangUps_); }
    int StatusPolls() const { return Locked(statusPolls_); }
    void JoinStates() {
        if (states_.joinable()) states_.join();
    }

    bool Load() override { return available; }

    uint32_t RasEnumEntriesA(const char*, const char* phoneBook, RasEntryName* buffer, uint32_t* bytes,
                             uint32_t* count) override {
        if (enumError) return enumError;
        if (phoneBook || buffer[0].size != sizeof(RasEntryName)) return kWrongRecord;
        if (*bytes < entries.size() * sizeof(RasEntryName))
            return *bytes = static_cast<uint32_t>(entries.size() * sizeof(RasEntryName)), kRasErrorBufferTooSmall;
        for (size_t i = 0; i < entries.size(); i++)
            std::strncpy(buffer[i].entryName, entries[i].c_str(), kRasNameLength);
        return *count = static_cast<uint32_t>(entries.size()), 0;
    }

    uint32_t RasGetErrorStringA(uint32_t error, char* text, uint32_t bytes) override {
        auto found = errorTexts.find(error);
        if (found == errorTexts.end() || bytes < kRasErrorTextBytes) return 1;
        return std::strncpy(text, found->second.c_str(), bytes - 1), text[bytes - 1] = '\0', 0;
    }

    uint32_t RasDialA(const void* extensions, const char* phoneBook, const RasDialParams* params,
                      uint32_t notifierType, RasNotifier notifier, RasHandle* handle) override {
        if (extensions || phoneBook || notifierType != 0 || params->size != sizeof(RasDialParams)) return kWrongRecord;
        JoinStates();
        {
            std::lock_guard<std::mutex> guard(mutex_);
            dials_.push_back(std::string(params->entryName) + "|" + params->userName + "|" + params->password + "|" +
                             params->domain);
            *handle = nextHandle_++;
        }
        if (dialResult != 0 || !answerDial) return dialResult;
        states_ = std::thread([script = states, error = stateError, notifier] {
            for (size_t i = 0; i < script.size(); i++)
                notifier(kRasDialEvent, script[i], i + 1 == script.size() ? error : 0);
        });
        return 0;
    }

    uint32_t RasHangUpA(RasHandle handle) override {
        std::lock_guard<std::mutex> guard(mutex_);
        hangUps_.push_back(handle);
        return 0;
    }

    // A line hung up is gone on the second look after the hang-up.
    uint32_t RasGetConnectStatusA(RasHandle handle, RasConnStatus* status) override {
        std::lock_guard<std::mutex> guard(mutex_);
        statusPolls_++;
        if (status->size != sizeof(RasConnStatus)) return kWrongRecord;
        if (std::count(hangUps_.begin(), hangUps_.end(), handle) && ++looksAfterHangUp_[handle] >= 2)
            return kRasErrorInvalidHandle;
        return status->state = kRasStateConnected, 0;
    }

private:
    template <typename T>
    T Locked(const T& value) const {
        std::lock_guard<std::mutex> guard(mutex_);
        return value;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> dials_;
    std::vector<RasHandle> hangUps_;
    std::map<RasHandle, int> looksAfterHangUp_;
    int statusPolls_ = 0;
    RasHandle nextHandle_ = 0x100;
    std::thread states_;
};
