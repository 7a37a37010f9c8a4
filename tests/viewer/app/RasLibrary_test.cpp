#include "viewer/app/dialup/DialTexts.h"
#include "viewer/app/dialup/DialUp.h"
#include "viewer/app/dialup/RasLibrary.h"

#include <gtest/gtest.h>

namespace {

class QuietObserver : public DialObserver {
public:
    void DialState(const std::string& text) override { states.push_back(text); }
    void DialStatus(const std::string& text) override { statuses.push_back(text); }
    void DialError(const std::string& text) override { errors.push_back(text); }
    bool DialStopRequested() const override { return false; }
    std::vector<std::string> states, statuses, errors;
};

TEST(RasLibrary, ThisSystemShipsNoBackendSoDialingReportsTheLibraryMissing) {
    RasLibrary library;
    EXPECT_FALSE(library.Available());
    DialUp dial(library);
    QuietObserver observer;
    DialSettings settings;
    settings.entryName = "Provider";
    EXPECT_FALSE(dial.Dial(settings, observer));
    EXPECT_EQ(observer.errors, std::vector<std::string>{dial_text::kLibraryMissing});
    std::vector<std::string> names;
    std::string error;
    EXPECT_EQ(dial.ListConnections(names, error), DialUp::ListResult::LibraryMissing);
}

TEST(RasLibrary, LoadsABackendAtRunTimeAndDialsThroughIt) {
    RasLibrary library(FAKE_RASAPI);
    ASSERT_TRUE(library.Available());
    DialUp dial(library);
    std::vector<std::string> names;
    std::string error;
    ASSERT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Listed);
    EXPECT_EQ(names, std::vector<std::string>{"Module line"});

    QuietObserver observer;
    DialSettings settings;
    settings.entryName = "Module line";
    ASSERT_TRUE(dial.Dial(settings, observer));
    EXPECT_EQ(observer.states, (std::vector<std::string>{"Opening Port", "Connected"}));
    dial.HangUp();
    EXPECT_EQ(dial.Handle(), 0u);

    settings.entryName = "Unknown";
    EXPECT_FALSE(dial.Dial(settings, observer));
    EXPECT_EQ(observer.statuses, std::vector<std::string>{"module error"});
}

TEST(RasLibrary, ABackendWithoutAllFiveCallsDoesNotCount) {
    RasLibrary library(PARTIAL_RASAPI);
    EXPECT_FALSE(library.Available());
    EXPECT_FALSE(library.Load());
}

TEST(RasLibrary, ReleasedLibraryIsLoadedAgainWhenNeeded) {
    RasLibrary library(FAKE_RASAPI);
    library.Release();
    EXPECT_FALSE(library.Available());
    RasConnStatus status{};
    status.size = sizeof status;
    EXPECT_EQ(library.RasGetConnectStatusA(1, &status), kRasErrorInvalidHandle);
    DialUp dial(library);
    std::vector<std::string> names;
    std::string error;
    EXPECT_EQ(dial.ListConnections(names, error), DialUp::ListResult::Listed);
    EXPECT_TRUE(library.Available());
}

}  // namespace
