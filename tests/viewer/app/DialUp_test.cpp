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
    void DialStatus(const std::string& text) override { failures += text; }
    void DialError(const std::string& text) override { failures += text; }
    bool DialStopRequested() const override { return false; }
    std::string states, failures;
};

DialSettings Login(bool currentUser, const std::string& entry = "Provider") {
    return DialSettings{"jane", "pw", "OFFICE", entry, currentUser, DialMode::Always};
}

}  // namespace

TEST(DialUp, DialingShowsEachStateAndHangingUpWaitsUntilTheLineIsGone) {  // failed dials: JobWindows_test
    const std::string entry(1000, 'e');  // longer than the record holds
    using States = std::vector<uint32_t>;
    for (auto [settings, states, expected, shown] :
         {std::tuple{Login(false), States{0, 1, 2, 18, 14, kRasStateConnected}, std::string("Provider|jane|pw|OFFICE"),
                     std::string("Opening Port|Port Opened|Connecting Device|Undefine Error Code|Authenticated|"
                                 "Connected")},
          {Login(true, entry), States{4, 5, kRasStateConnected}, entry.substr(0, kRasNameLength) + "|||",
           "All Devices Connected|Starting Authentication|Connected"}}) {
        FakeRas ras;
        ras.states = states;
        RecordingObserver observer;
        DialUp dial(ras);
        EXPECT_TRUE(dial.Dial(settings, observer));
        ras.JoinStates();
        EXPECT_EQ(ras.Dials(), std::vector<std::string>{expected});
        EXPECT_EQ(observer.states + observer.failures, shown);
        const RasHandle handle = dial.Handle();
        EXPECT_TRUE(dial.Connected() && handle != 0 && ras.HangUps().empty());
        dial.HangUp();
        EXPECT_EQ(ras.HangUps(), std::vector<RasHandle>{handle});
        EXPECT_GE(ras.StatusPolls(), 2);  // it looked at the line until it was gone
    }
    using State = std::pair<uint32_t, const char*>;
    for (auto [state, text] : {State{6, " Identificatie bekendmaken"}, {13, "Reauthenticatation Started"},
                               {17, "Waiting For Callback"}, {19, "Start Authentication"}, {21, "Logon to Network"},
                               {22, "Undefine Error Code"}, {4096, "Interactive"}, {4099, "Password Expired"},
                               {0xFFFFFFFFu, "Undefine Error Code"}})
        EXPECT_STREQ(dial_text::ConnectionStateText(state), text) << state;
}

TEST(RasLibrary, ABackendIsLoadedAtRunTimeOnlyWithAllFiveCalls) {
    EXPECT_FALSE(RasLibrary().Available());  // this system ships none
    EXPECT_FALSE(RasLibrary(PARTIAL_RASAPI).Load());
    RecordingObserver observer;

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
    EXPECT_FALSE(dial.Dial(Login(true, "Unknown"), observer));
    EXPECT_EQ(observer.failures, "module error");
}
