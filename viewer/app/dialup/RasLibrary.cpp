#include "viewer/app/dialup/RasLibrary.h"

#include <dlfcn.h>

namespace {

template <typename Fn>
Fn Lookup(void* library, const char* name) {
    return reinterpret_cast<Fn>(dlsym(library, name));
}

}  // namespace

RasLibrary::RasLibrary(std::string fileName) : fileName_(std::move(fileName)) {
    Load();
}

RasLibrary::~RasLibrary() {
    Release();
}

bool RasLibrary::Load() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (handle_) return true;
    void* library = dlopen(fileName_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    enumEntries_ = Lookup<RasEnumEntriesFn>(library, "RasEnumEntriesA");
    errorString_ = Lookup<RasGetErrorStringFn>(library, "RasGetErrorStringA");
    dial_ = Lookup<RasDialFn>(library, "RasDialA");
    hangUp_ = Lookup<RasHangUpFn>(library, "RasHangUpA");
    connectStatus_ = Lookup<RasGetConnectStatusFn>(library, "RasGetConnectStatusA");
    handle_ = library;
    // Only a library with all five calls counts.
    if (!enumEntries_ || !errorString_ || !dial_ || !hangUp_ || !connectStatus_) {
        ReleaseLocked();
        return false;
    }
    return true;
}

bool RasLibrary::Available() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return handle_ != nullptr;
}

void RasLibrary::Release() {
    std::lock_guard<std::mutex> guard(mutex_);
    ReleaseLocked();
}

void RasLibrary::ReleaseLocked() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    enumEntries_ = nullptr;
    errorString_ = nullptr;
    dial_ = nullptr;
    hangUp_ = nullptr;
    connectStatus_ = nullptr;
}

uint32_t RasLibrary::RasEnumEntriesA(const char* reserved, const char* phoneBook, RasEntryName* entries,
                                     uint32_t* bytes, uint32_t* count) {
    RasEnumEntriesFn call;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        call = enumEntries_;
    }
    return call ? call(reserved, phoneBook, entries, bytes, count) : kNotLoaded;
}

uint32_t RasLibrary::RasGetErrorStringA(uint32_t error, char* text, uint32_t bytes) {
    RasGetErrorStringFn call;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        call = errorString_;
    }
    return call ? call(error, text, bytes) : kNotLoaded;
}

uint32_t RasLibrary::RasDialA(const void* extensions, const char* phoneBook, const RasDialParams* params,
                              uint32_t notifierType, RasNotifier notifier, RasHandle* handle) {
    RasDialFn call;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        call = dial_;
    }
    return call ? call(extensions, phoneBook, params, notifierType, notifier, handle) : kNotLoaded;
}

uint32_t RasLibrary::RasHangUpA(RasHandle handle) {
    RasHangUpFn call;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        call = hangUp_;
    }
    return call ? call(handle) : kNotLoaded;
}

uint32_t RasLibrary::RasGetConnectStatusA(RasHandle handle, RasConnStatus* status) {
    RasGetConnectStatusFn call;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        call = connectStatus_;
    }
    // Without the library there is no connection to ask about.
    return call ? call(handle, status) : kRasErrorInvalidHandle;
}
