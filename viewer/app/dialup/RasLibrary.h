// The dial-up backend library, opened by name at run time. The program ships
// none, so on an ordinary system it stays unavailable and dialing is refused
// with a message; everything else works without it.
#pragma once

#include "viewer/app/dialup/RasApi.h"

#include <mutex>
#include <string>

// The library's file name, looked for where the dynamic linker looks.
constexpr char kRasLibraryName[] = "librasapi32.so";

class RasLibrary : public RasApi {
public:
    explicit RasLibrary(std::string fileName = kRasLibraryName);
    ~RasLibrary() override;
    RasLibrary(const RasLibrary&) = delete;
    RasLibrary& operator=(const RasLibrary&) = delete;

    bool Load() override;
    bool Available() const;
    // Closes the library; Load opens it again.
    void Release();

    uint32_t RasEnumEntriesA(const char* reserved, const char* phoneBook, RasEntryName* entries, uint32_t* bytes,
                             uint32_t* count) override;
    uint32_t RasGetErrorStringA(uint32_t error, char* text, uint32_t bytes) override;
    uint32_t RasDialA(const void* extensions, const char* phoneBook, const RasDialParams* params,
                      uint32_t notifierType, RasNotifier notifier, RasHandle* handle) override;
    uint32_t RasHangUpA(RasHandle handle) override;
    uint32_t RasGetConnectStatusA(RasHandle handle, RasConnStatus* status) override;

private:
    void ReleaseLocked();

    // Answered by the calls while the library is not loaded.
    static constexpr uint32_t kNotLoaded = 0xFFFFFFFFu;

    std::string fileName_;
    mutable std::mutex mutex_;
    void* handle_ = nullptr;
    RasEnumEntriesFn enumEntries_ = nullptr;
    RasGetErrorStringFn errorString_ = nullptr;
    RasDialFn dial_ = nullptr;
    RasHangUpFn hangUp_ = nullptr;
    RasGetConnectStatusFn connectStatus_ = nullptr;
};
