// Dial-up control through the fake backend, and a backend library loaded at run time.
#include "AppTestSupport.h"

#include "viewer/app/dialup/DialTexts.h"
#include "viewer/app/dialup/DialUp.h"
#include "viewer/app/dialup/RasLibrary.h"


namespace {

// Read after the dial, whose states come on the backend's thread, has ended.
class RecordingObserver : public DialObserver {
public:
    void DialState(const std::string& text) override { states += (states.empty() ? "" : "|") + text; }
    void DialStatus(const std::string& text) override { statuses += text; }
    void DialError(const std::string& text) override { errors += text; }
    bool DialStopRequested() const override { return false; }
    std::string states, statuses, errors;
};

DialSettings Login(bool currentUser, const std::string& entry = "Provider") {
    return DialSettings{"jane", "pw", "OFFICE", entry, currentUser, DialMode::Always};
}

}  // namespace

TEST(DialUp, EveryWayADialEnds) {  // the failures a job meets are in LoadJob_test
    const std::string connectError = dial_text::kConnectError;
    struct Case {
        const char* name;
        std::function<void(FakeRas&)> setup;
        DialSettings settings;
        bool connected;
        std::string dial, states, status;
    } cases[] = {
        {"own login", [](FakeRas& r) { r.states = {0, 1, 2, 18, 14, kRasStateConnected}; }, Login(false), true,
         "Provider|jane|pw|OFFICE", "Opening Port|Port Opened|Connecting Device|Undefine Error Code|Authenticated|Connected", ""},
        {"current user, overlong entry", {}, Login(true, std::string(1000, 'e')), true, std::string(kRasNameLength, 'e') + "|||",
         "Opening Port|Port Opened|Connecting Device|Device Connected|All Devices Connected|Starting Authentication|"
         "Authenticated|Connected", ""},
        {"failed without a text", [](FakeRas& r) { r.states = {0}, r.stateError = 4711; }, Login(true), false, "Provider|||",
         "", connectError},
        {"dial refused", [](FakeRas& r) { r.dialResult = 633; }, Login(true), false, "Provider|||", "", connectError},
        {"line dropped", [](FakeRas& r) { r.states = {0, kRasStateDisconnected}; }, Login(true), false, "Provider|||",
         "Opening Port|Disconnected", connectError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRas ras;
        RecordingObserver observer;
        if (c.setup) c.setup(ras);
        DialUp dial(ras);
        EXPECT_EQ(dial.Dial(c.settings, observer), c.connected);
        ras.JoinStates();
        EXPECT_EQ(ras.Dials(), std::vector<std::string>{c.dial});
        EXPECT_EQ(observer.states + "/" + observer.statuses + "/" + observer.errors, c.states + "/" + c.status + "/");
        RasHandle handle = dial.Handle();
        EXPECT_EQ(dial.Connected() && handle != 0, c.connected);
        EXPECT_EQ(ras.HangUps().size(), c.connected ? 0u : 1u);  // a failed dial is hung up at once
        dial.HangUp();
        EXPECT_EQ(dial.Handle(), 0u);
        EXPECT_EQ(ras.HangUps().size(), 1u);
        EXPECT_EQ(ras.HangUps()[0], c.connected ? handle : ras.HangUps()[0]);
        EXPECT_GE(ras.StatusPolls(), c.connected ? 2 : 0);  // it looked at the line until it was gone
    }
    for (auto [state, text] : {std::pair<uint32_t, const char*>{6, " Identificatie bekendmaken"}, {17, "Waiting For Callback"},
                               {19, "Start Authentication"}, {21, "Logon to Network"}, {22, "Undefine Error Code"},
                               {4096, "Interactive"}, {4099, "Password Expired"}, {0xFFFFFFFFu, "Undefine Error Code"}})
        EXPECT_STREQ(dial_text::ConnectionStateText(state), text) << state;
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
