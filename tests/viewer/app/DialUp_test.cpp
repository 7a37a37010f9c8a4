#include "FakeRas.h"

#include "viewer/app/dialup/DialTexts.h"
#include "viewer/app/dialup/DialUp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <mutex>

namespace {

class RecordingObserver : public DialObserver {
public:
    void DialState(const std::string& text) override {
        std::lock_guard<std::mutex> guard(mutex_);
        states.push_back(text);
    }
    void DialStatus(const std::string& text) override {
        std::lock_guard<std::mutex> guard(mutex_);
        statuses.push_back(text);
    }
    void DialError(const std::string& text) override {
        std::lock_guard<std::mutex> guard(mutex_);
        errors.push_back(text);
    }
    bool DialStopRequested() const override {
        stopLooks++;
        return stop.load() || (stopAfterLooks > 0 && stopLooks.load() >= stopAfterLooks);
    }

    std::vector<std::string> states, statuses, errors;
    std::atomic<bool> stop{false};
    int stopAfterLooks = 0;
    mutable std::atomic<int> stopLooks{0};

private:
    std::mutex mutex_;
};

DialSettings SettingsFor(const std::string& entry) {
    DialSettings settings;
    settings.entryName = entry;
    settings.userName = "jane";
    settings.password = "pw";
    settings.domain = "OFFICE";
    settings.mode = DialMode::Always;
    return settings;
}

TEST(DialUp, WithoutTheLibraryDialingIsRefusedWithTheErrorBox) {
    FakeRas ras;
    ras.available = false;
    DialUp dial(ras);
    RecordingObserver observer;
    EXPECT_FALSE(dial.Dial(SettingsFor("Provider"), observer));
    EXPECT_EQ(observer.errors, std::vector<std::string>{dial_text::kLibraryMissing});
    EXPECT_TRUE(ras.Dials().empty());
    EXPECT_TRUE(ras.HangUps().empty());
    EXPECT_GE(ras.Loads(), 1);
}

TEST(DialUp, ShowsEachStateAndIsConnectedAtConnected) {
    FakeRas ras;
    ras.states = {0, 1, 2, 18, 14, kRasStateConnected};
    DialUp dial(ras);
    RecordingObserver observer;
    ASSERT_TRUE(dial.Dial(SettingsFor("Provider"), observer));
    EXPECT_TRUE(dial.Connected());
    EXPECT_NE(dial.Handle(), 0u);
    EXPECT_EQ(observer.states, (std::vector<std::string>{"Opening Port", "Port Opened", "Connecting Device",
                                                          "Undefine Error Code", "Authenticated", "Connected"}));
    EXPECT_TRUE(observer.statuses.empty());
    EXPECT_TRUE(ras.HangUps().empty());

    RasHandle handle = dial.Handle();
    dial.HangUp();
    EXPECT_FALSE(dial.Connected());
    EXPECT_EQ(dial.Handle(), 0u);
    EXPECT_EQ(ras.HangUps(), std::vector<RasHandle>{handle});
    // It looked at the line until the backend said the handle is gone.
    EXPECT_GE(ras.StatusPolls(), 2);
}

TEST(DialUp, UsingCurrentUserPassesNoUserNamePasswordOrDomain) {
    FakeRas ras;
    DialUp dial(ras);
    RecordingObserver observer;
    DialSettings settings = SettingsFor("Provider");
    settings.useCurrentUser = true;
    ASSERT_TRUE(dial.Dial(settings, observer));
    dial.HangUp();
    ASSERT_EQ(ras.Dials().size(), 1u);
    FakeRas::DialCall call = ras.Dials()[0];
    EXPECT_EQ(call.entryName, "Provider");
    EXPECT_EQ(call.userName, "");
    EXPECT_EQ(call.password, "");
    EXPECT_EQ(call.domain, "");
}

TEST(DialUp, OwnLoginPassesUserNamePasswordAndDomain) {
    FakeRas ras;
    DialUp dial(ras);
    RecordingObserver observer;
    DialSettings settings = SettingsFor("Provider");
    settings.useCurrentUser = false;
    ASSERT_TRUE(dial.Dial(settings, observer));
    dial.HangUp();
    FakeRas::DialCall call = ras.Dials().at(0);
    EXPECT_EQ(call.userName, "jane");
    EXPECT_EQ(call.password, "pw");
    EXPECT_EQ(call.domain, "OFFICE");
    EXPECT_EQ(call.size, sizeof(RasDialParams));
    EXPECT_EQ(call.notifierType, 0u);
    EXPECT_FALSE(call.phoneBookGiven);
    EXPECT_FALSE(call.extensionsGiven);
}

TEST(DialUp, OverlongFieldsAreCutToTheRecord) {
    FakeRas ras;
    DialUp dial(ras);
    RecordingObserver observer;
    DialSettings settings = SettingsFor(std::string(1000, 'e'));
    settings.useCurrentUser = false;
    settings.userName = std::string(400, 'u');
    ASSERT_TRUE(dial.Dial(settings, observer));
    dial.HangUp();
    EXPECT_EQ(ras.Dials().at(0).entryName, std::string(kRasNameLength, 'e'));
    EXPECT_EQ(ras.Dials().at(0).userName, std::string(kRasNameLength, 'u'));
}

TEST(DialUp, FailedDialShowsTheBackendsTextAndHangsUp) {
    FakeRas ras;
    ras.states = {0, 1, 5};
    ras.stateError = 691;
    ras.errorTexts[691] = "Access denied because the user name or password is not valid.";
    DialUp dial(ras);
    RecordingObserver observer;
    EXPECT_FALSE(dial.Dial(SettingsFor("Provider"), observer));
    EXPECT_EQ(observer.statuses, std::vector<std::string>{ras.errorTexts[691]});
    EXPECT_EQ(ras.HangUps().size(), 1u);
    EXPECT_FALSE(dial.Connected());
    EXPECT_EQ(dial.Handle(), 0u);
}

TEST(DialUp, FailedDialWithoutAnErrorTextShowsOursInstead) {
    FakeRas ras;
    ras.states = {0};
    ras.stateError = 4711;
    DialUp dial(ras);
    RecordingObserver observer;
    EXPECT_FALSE(dial.Dial(SettingsFor("Provider"), observer));
    EXPECT_EQ(observer.statuses, std::vector<std::string>{dial_text::kConnectError});
    EXPECT_EQ(ras.HangUps().size(), 1u);
}

TEST(DialUp, RefusedDialCallShowsTheConnectErrorAndHangsUp) {
    FakeRas ras;
    ras.dialResult = 633;
    DialUp dial(ras);
    RecordingObserver observer;
    EXPECT_FALSE(dial.Dial(SettingsFor("Provider"), observer));
    EXPECT_EQ(observer.statuses, std::vector<std::string>{dial_text::kConnectError});
    EXPECT_EQ(ras.HangUps().size(), 1u);
}

TEST(DialUp, LineThatDropsBeforeConnectedIsAFailure) {
    FakeRas ras;
    ras.states = {0, 1, kRasStateDisconnected};
    DialUp dial(ras);
    RecordingObserver observer;
    EXPECT_FALSE(dial.Dial(SettingsFor("Provider"), observer));
    EXPECT_EQ(observer.states.back(), "Disconnected");
    EXPECT_EQ(observer.statuses, std::vector<std::string>{dial_text::kConnectError});
    EXPECT_EQ(ras.HangUps().size(), 1u);
}

TEST(DialUp, StoppingWhileDialingEndsTheWaitAndHangsUp) {
    FakeRas ras;
    ras.answerDial = false;
    DialUp dial(ras);
    RecordingObserver observer;
    observer.stopAfterLooks = 3;
    EXPECT_FALSE(dial.Dial(SettingsFor("Provider"), observer));
    EXPECT_EQ(ras.HangUps().size(), 1u);
    // The user stopped it: no failure is reported.
    EXPECT_TRUE(observer.statuses.empty());
    EXPECT_TRUE(observer.errors.empty());
}

TEST(DialUp, OnlyDialEventsCountAndNothingAfterTheHangUp) {
    FakeRas ras;
    ras.answerDial = false;
    DialUp dial(ras);
    RecordingObserver observer;
    std::atomic<bool> connected{false};
    std::thread dialing([&] { connected = dial.Dial(SettingsFor("Provider"), observer); });
    while (!ras.LastNotifier()) std::this_thread::yield();
    RasNotifier notify = ras.LastNotifier();
    notify(0x1234, kRasStateConnected, 0);  // not a dial event
    notify(kRasDialEvent, kRasStateConnected, 0);
    dialing.join();
    EXPECT_TRUE(connected.load());
    EXPECT_EQ(observer.states, std::vector<std::string>{"Connected"});

    dial.HangUp();
    notify(kRasDialEvent, kRasStateDisconnected, 0);
    EXPECT_EQ(observer.states, std::vector<std::string>{"Connected"});
    EXPECT_FALSE(dial.Connected());
}

TEST(DialUp, ListsEntriesGrowingTheBufferWhenAsked) {
    FakeRas ras;
    ras.entries = {"Provider", "Office", "Backup line"};
    DialUp dial(ras);
    std::vector<std::string> names;
    std::string error;
    ASSERT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Listed);
    EXPECT_EQ(names, ras.entries);
    EXPECT_EQ(ras.EnumBufferSizes(), (std::vector<uint32_t>{264, 3 * 264}));
}

TEST(DialUp, OneEntryNeedsOneCall) {
    FakeRas ras;
    ras.entries = {"Provider"};
    DialUp dial(ras);
    std::vector<std::string> names;
    std::string error;
    ASSERT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Listed);
    EXPECT_EQ(names, ras.entries);
    EXPECT_EQ(ras.EnumCalls(), 1);
}

TEST(DialUp, ListingErrorsGiveTheBackendsTextOrOurs) {
    FakeRas ras;
    ras.enumError = 610;
    ras.errorTexts[610] = "The phone book is damaged.";
    DialUp dial(ras);
    std::vector<std::string> names;
    std::string error;
    EXPECT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Failed);
    EXPECT_EQ(error, "The phone book is damaged.");
    ras.enumError = 611;
    EXPECT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Failed);
    EXPECT_EQ(error, dial_text::kEnumEntriesError);

    ras.available = false;
    EXPECT_EQ(dial.ListConnections(names, error), DialUp::ListResult::LibraryMissing);
    EXPECT_EQ(error, dial_text::kLibraryMissing);
    EXPECT_TRUE(names.empty());
}

TEST(DialUp, StateTextsFollowTheStateNumbers) {
    EXPECT_STREQ(dial_text::ConnectionStateText(0), "Opening Port");
    EXPECT_STREQ(dial_text::ConnectionStateText(6), " Identificatie bekendmaken");
    EXPECT_STREQ(dial_text::ConnectionStateText(13), "Reauthenticatation Started");
    EXPECT_STREQ(dial_text::ConnectionStateText(17), "Waiting For Callback");
    EXPECT_STREQ(dial_text::ConnectionStateText(18), "Undefine Error Code");
    EXPECT_STREQ(dial_text::ConnectionStateText(19), "Start Authentication");
    EXPECT_STREQ(dial_text::ConnectionStateText(21), "Logon to Network");
    EXPECT_STREQ(dial_text::ConnectionStateText(22), "Undefine Error Code");
    EXPECT_STREQ(dial_text::ConnectionStateText(4096), "Interactive");
    EXPECT_STREQ(dial_text::ConnectionStateText(4099), "Password Expired");
    EXPECT_STREQ(dial_text::ConnectionStateText(8192), "Connected");
    EXPECT_STREQ(dial_text::ConnectionStateText(8193), "Disconnected");
    EXPECT_STREQ(dial_text::ConnectionStateText(0xFFFFFFFFu), "Undefine Error Code");
}

}  // namespace
