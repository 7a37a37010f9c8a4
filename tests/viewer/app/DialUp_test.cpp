// Dial-up control through the fake backend, and a backend library loaded at run time.
#include "FakeRas.h"

#include "viewer/app/dialup/DialTexts.h"
#include "viewer/app/dialup/DialUp.h"
#include "viewer/app/dialup/RasLibrary.h"

#include <gtest/gtest.h>

namespace {

class RecordingObserver : public DialObserver {
public:
    void DialState(const std::string& text) override { Add(states, text); }
    void DialStatus(const std::string& text) override { Add(statuses, text); }
    void DialError(const std::string& text) override { Add(errors, text); }
    bool DialStopRequested() const override { return stopAfterLooks > 0 && ++looks >= stopAfterLooks; }

    std::string states, statuses, errors;  // "|"-separated
    int stopAfterLooks = 0;
    mutable std::atomic<int> looks{0};

private:
    void Add(std::string& to, const std::string& text) {
        std::lock_guard<std::mutex> guard(mutex_);
        to += (to.empty() ? "" : "|") + text;
    }
    std::mutex mutex_;
};

DialSettings Login(bool currentUser, const std::string& entry = "Provider") {
    DialSettings settings;
    settings.entryName = entry;
    settings.userName = "jane";
    settings.password = "pw";
    settings.domain = "OFFICE";
    settings.useCurrentUser = currentUser;
    return settings;
}

}  // namespace

TEST(DialUp, EveryWayADialEnds) {
    using namespace dial_text;
    const std::string connectError = kConnectError;
    struct Case {
        const char* name;
        std::function<void(FakeRas&, RecordingObserver&)> setup;
        DialSettings settings;
        bool connected;
        std::string dial, states, statuses, errors;
    } cases[] = {
        {"connected", [](FakeRas& r, RecordingObserver&) { r.states = {0, 1, 2, 18, 14, kRasStateConnected}; },
         Login(false), true, "Provider|jane|pw|OFFICE",
         "Opening Port|Port Opened|Connecting Device|Undefine Error Code|Authenticated|Connected", "", ""},
        {"current user, overlong entry", {}, Login(true, std::string(1000, 'e')), true,
         std::string(kRasNameLength, 'e') + "|||", "Opening Port|Port Opened|Connecting Device|Device Connected|"
         "All Devices Connected|Starting Authentication|Authenticated|Connected", "", ""},
        {"failed with the backend's text", [](FakeRas& r, RecordingObserver&) {
             r.states = {0, 1, 5}, r.stateError = 691, r.errorTexts[691] = "Access denied.";
         }, Login(true), false, "Provider|||", "Opening Port|Port Opened", "Access denied.", ""},
        {"failed without a text", [](FakeRas& r, RecordingObserver&) { r.states = {0}, r.stateError = 4711; },
         Login(true), false, "Provider|||", "", connectError, ""},
        {"dial refused", [](FakeRas& r, RecordingObserver&) { r.dialResult = 633; }, Login(true), false, "Provider|||",
         "", connectError, ""},
        {"line dropped", [](FakeRas& r, RecordingObserver&) { r.states = {0, kRasStateDisconnected}; }, Login(true),
         false, "Provider|||", "Opening Port|Disconnected", connectError, ""},
        {"stopped", [](FakeRas& r, RecordingObserver& o) { r.answerDial = false, o.stopAfterLooks = 3; }, Login(true),
         false, "Provider|||", "", "", ""},
        {"no library", [](FakeRas& r, RecordingObserver&) { r.available = false; }, Login(true), false, "", "", "",
         kLibraryMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRas ras;
        RecordingObserver observer;
        if (c.setup) c.setup(ras, observer);
        DialUp dial(ras);
        EXPECT_EQ(dial.Dial(c.settings, observer), c.connected);
        ras.JoinStates();
        EXPECT_EQ(dial.Connected(), c.connected);
        EXPECT_EQ(ras.Dials(), c.dial.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.dial});
        EXPECT_EQ(observer.states, c.states);
        EXPECT_EQ(observer.statuses, c.statuses);
        EXPECT_EQ(observer.errors, c.errors);
        // A failed dial is hung up at once, a connected line when asked to.
        EXPECT_EQ(ras.HangUps().size(), !c.connected && !c.dial.empty() ? 1u : 0u);
        RasHandle handle = dial.Handle();
        EXPECT_EQ(handle != 0, c.connected);
        dial.HangUp();
        EXPECT_EQ(dial.Handle(), 0u);
        if (c.connected) {  // hung up when asked to, and looked at the line until it was gone
            EXPECT_EQ(ras.HangUps(), std::vector<RasHandle>{handle});
            EXPECT_GE(ras.StatusPolls(), 2);
        }
    }
}

TEST(DialUp, OnlyDialEventsCountAndNothingAfterTheHangUp) {
    FakeRas ras;
    ras.answerDial = false;
    DialUp dial(ras);
    RecordingObserver observer;
    std::atomic<bool> connected{false};
    std::thread dialing([&] { connected = dial.Dial(Login(true), observer); });
    while (!ras.LastNotifier()) std::this_thread::yield();
    RasNotifier notify = ras.LastNotifier();
    notify(0x1234, kRasStateConnected, 0);  // not a dial event
    notify(kRasDialEvent, kRasStateConnected, 0);
    dialing.join();
    EXPECT_TRUE(connected.load());
    dial.HangUp();
    notify(kRasDialEvent, kRasStateDisconnected, 0);
    EXPECT_EQ(observer.states, "Connected");
    EXPECT_FALSE(dial.Connected());
    EXPECT_EQ(std::string(dial_text::ConnectionStateText(13)) + "|" + dial_text::ConnectionStateText(22) + "|" +
                  dial_text::ConnectionStateText(4099) + "|" + dial_text::ConnectionStateText(0xFFFFFFFFu),
              "Reauthenticatation Started|Undefine Error Code|Password Expired|Undefine Error Code");
}

TEST(DialUp, EntriesAreListedInAGrowingBufferAndErrorsGiveAText) {
    FakeRas ras;
    DialUp dial(ras);
    std::vector<std::string> names;
    std::string error;
    for (std::vector<std::string> entries : {std::vector<std::string>{"Provider"}, {"Provider", "Office", "Backup"}}) {
        ras.entries = entries;
        ASSERT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Listed);
        EXPECT_EQ(names, entries);
    }
    EXPECT_EQ(ras.EnumBufferSizes(), (std::vector<uint32_t>{264, 264, 3 * 264}));
    ras.enumError = 610;
    ras.errorTexts[610] = "The phone book is damaged.";
    EXPECT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Failed);
    EXPECT_EQ(error, "The phone book is damaged.");
    ras.enumError = 611;
    EXPECT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Failed);
    EXPECT_EQ(error, dial_text::kEnumEntriesError);
    ras.available = false;
    EXPECT_EQ(dial.ListConnections(names, error), DialUp::ListResult::LibraryMissing);
    EXPECT_EQ(error, dial_text::kLibraryMissing);
}

TEST(RasLibrary, ABackendIsLoadedAtRunTimeOnlyWithAllFiveCalls) {
    RasLibrary missing;  // this system ships none
    EXPECT_FALSE(missing.Available());
    EXPECT_FALSE(RasLibrary(PARTIAL_RASAPI).Load());
    RecordingObserver observer;
    EXPECT_FALSE(DialUp(missing).Dial(Login(true), observer));
    EXPECT_EQ(observer.errors, dial_text::kLibraryMissing);

    RasLibrary library(FAKE_RASAPI);
    library.Release();
    RasConnStatus status{};
    status.size = sizeof status;
    EXPECT_EQ(library.RasGetConnectStatusA(1, &status), kRasErrorInvalidHandle);  // released: not loaded
    DialUp dial(library);
    std::vector<std::string> names;
    std::string error;
    ASSERT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Listed);
    EXPECT_TRUE(library.Available());
    EXPECT_EQ(names, std::vector<std::string>{"Module line"});
    ASSERT_TRUE(dial.Dial(Login(true, "Module line"), observer));
    EXPECT_EQ(observer.states, "Opening Port|Connected");
    dial.HangUp();
    EXPECT_EQ(dial.Handle(), 0u);
    EXPECT_FALSE(dial.Dial(Login(true, "Unknown"), observer));
    EXPECT_EQ(observer.statuses, "module error");
}
