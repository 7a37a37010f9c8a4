#include "viewer/app/dialup/DialUp.h"

#include "viewer/app/dialup/DialTexts.h"

#include <cstring>
#include <thread>

std::mutex DialUp::activeMutex_;
DialUp* DialUp::active_ = nullptr;

namespace {

template <size_t N>
void CopyField(char (&field)[N], const std::string& value) {
    size_t count = std::min(value.size(), N - 1);
    std::memcpy(field, value.data(), count);
    field[count] = '\0';
}

}  // namespace

DialUp::~DialUp() {
    Detach();
}

bool DialUp::Dial(const DialSettings& settings, DialObserver& observer) {
    if (!ras_.Load()) {
        observer.DialError(dial_text::kLibraryMissing);
        return false;
    }

    RasDialParams params;
    std::memset(&params, 0, sizeof params);
    params.size = sizeof params;
    CopyField(params.entryName, settings.entryName);
    if (!settings.useCurrentUser) {
        CopyField(params.userName, settings.userName);
        CopyField(params.password, settings.password);
        CopyField(params.domain, settings.domain);
    }

    {
        std::lock_guard<std::mutex> guard(activeMutex_);
        active_ = this;
        observer_ = &observer;
        connected_ = false;
        done_ = false;
        failureShown_ = false;
    }
    RasHandle handle = 0;
    uint32_t result = ras_.RasDialA(nullptr, nullptr, &params, 0, &DialUp::StateCallback, &handle);
    std::memset(params.password, 0, sizeof params.password);
    handle_ = handle;

    if (result != 0) {
        observer.DialStatus(dial_text::kConnectError);
        failureShown_ = true;
    } else {
        while (!done_.load() && !observer.DialStopRequested()) std::this_thread::sleep_for(kPoll);
    }

    bool connected = connected_.load();
    // A line that dropped before it was up says so too, unless the user
    // stopped the dial himself.
    if (!connected && !failureShown_.load() && !observer.DialStopRequested())
        observer.DialStatus(dial_text::kConnectError);
    if (!connected) HangUp();
    return connected;
}

void DialUp::HangUp() {
    RasHandle handle = handle_.exchange(0);
    if (handle != 0) {
        ras_.RasHangUpA(handle);
        for (int poll = 0; poll < kHangUpPolls; poll++) {
            RasConnStatus status;
            std::memset(&status, 0, sizeof status);
            status.size = sizeof status;
            if (ras_.RasGetConnectStatusA(handle, &status) == kRasErrorInvalidHandle) break;
            std::this_thread::sleep_for(kPoll);
        }
    }
    connected_ = false;
    Detach();
}

void DialUp::Detach() {
    std::lock_guard<std::mutex> guard(activeMutex_);
    observer_ = nullptr;
    if (active_ == this) active_ = nullptr;
}

void DialUp::StateCallback(uint32_t message, uint32_t state, uint32_t error) {
    std::lock_guard<std::mutex> guard(activeMutex_);
    if (active_) active_->OnState(message, state, error);
}

void DialUp::OnState(uint32_t message, uint32_t state, uint32_t error) {
    if (message != kRasDialEvent) return;
    if (error == 0) {
        if (observer_) observer_->DialState(dial_text::ConnectionStateText(state));
        if (state == kRasStateConnected) {
            connected_ = true;
            done_ = true;
        } else if (state == kRasStateDisconnected) {
            connected_ = false;
            done_ = true;
        }
        return;
    }
    if (observer_) observer_->DialStatus(ErrorText(error, dial_text::kConnectError));
    failureShown_ = true;
    connected_ = false;
    done_ = true;
}

std::string DialUp::ErrorText(uint32_t error, const char* fallback) {
    char text[kRasErrorTextBytes + 1];
    std::memset(text, 0, sizeof text);
    if (ras_.RasGetErrorStringA(error, text, kRasErrorTextBytes) != 0) return fallback;
    text[kRasErrorTextBytes] = '\0';
    std::string result(text);
    return result.empty() ? std::string(fallback) : result;
}

DialUp::ListResult DialUp::ListConnections(std::vector<std::string>& names, std::string& error) {
    names.clear();
    if (!ras_.Load()) {
        error = dial_text::kLibraryMissing;
        return ListResult::LibraryMissing;
    }
    std::vector<RasEntryName> entries(1);
    auto prepare = [&entries]() {
        for (RasEntryName& entry : entries) {
            std::memset(&entry, 0, sizeof entry);
            entry.size = sizeof entry;
        }
        return static_cast<uint32_t>(entries.size() * sizeof(RasEntryName));
    };
    uint32_t bytes = prepare();
    uint32_t count = 0;
    uint32_t result = ras_.RasEnumEntriesA(nullptr, nullptr, entries.data(), &bytes, &count);
    if (result == kRasErrorBufferTooSmall) {
        uint32_t wanted = (bytes + sizeof(RasEntryName) - 1) / sizeof(RasEntryName);
        if (wanted == 0 || wanted > kMaxEntries) {
            error = ErrorText(result, dial_text::kEnumEntriesError);
            return ListResult::Failed;
        }
        entries.resize(wanted);
        bytes = prepare();
        count = 0;
        result = ras_.RasEnumEntriesA(nullptr, nullptr, entries.data(), &bytes, &count);
    }
    if (result != 0) {
        error = ErrorText(result, dial_text::kEnumEntriesError);
        return ListResult::Failed;
    }
    // Never past what we handed over, whatever the count says.
    count = std::min<uint32_t>(count, static_cast<uint32_t>(entries.size()));
    for (uint32_t i = 0; i < count; i++)
        names.emplace_back(entries[i].entryName, strnlen(entries[i].entryName, sizeof entries[i].entryName));
    return ListResult::Listed;
}
