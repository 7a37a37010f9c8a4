// A dial-up backend for tests behind the same interface as the real one: it
// refuses calls a real backend would refuse (wrong record sizes, a phone book
// or extensions it was not given), records every call and dials from a
// script, reporting the states on a thread of its own as a real backend does.
#pragma once

#include "viewer/app/dialup/RasApi.h"

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class FakeRas : public RasApi {
public:
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
    // hung up, the buffer sizes of the entry listings, the status looks.
    std::vector<std::string> Dials() const { return Locked(dials_); }
    std::vector<RasHandle> HangUps() const { return Locked(hangUps_); }
    std::vector<uint32_t> EnumBufferSizes() const { return Locked(enumBufferSizes_); }
    int StatusPolls() const { return Locked(statusPolls_); }
    // The notifier of the last dial, to report states by hand.
    RasNotifier LastNotifier() const { return lastNotifier_.load(); }
    void JoinStates() {
        if (states_.joinable()) states_.join();
    }

    bool Load() override { return available; }
    uint32_t RasEnumEntriesA(const char* reserved, const char* phoneBook, RasEntryName* entries, uint32_t* bytes,
                             uint32_t* count) override;
    uint32_t RasGetErrorStringA(uint32_t error, char* text, uint32_t bytes) override;
    uint32_t RasDialA(const void* extensions, const char* phoneBook, const RasDialParams* params,
                      uint32_t notifierType, RasNotifier notifier, RasHandle* handle) override;
    uint32_t RasHangUpA(RasHandle handle) override;
    uint32_t RasGetConnectStatusA(RasHandle handle, RasConnStatus* status) override;

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
    std::vector<uint32_t> enumBufferSizes_;
    int statusPolls_ = 0;
    RasHandle nextHandle_ = 0x100;
    std::atomic<RasNotifier> lastNotifier_{nullptr};
    std::thread states_;
};
