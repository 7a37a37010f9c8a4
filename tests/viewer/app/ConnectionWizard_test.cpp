#include "AppTestSupport.h"
#include "FakeRas.h"

#include "viewer/app/dialup/ConnectionWizard.h"
#include "viewer/app/dialup/DialTexts.h"
#include "viewer/app/dialup/DialUp.h"
#include "viewer/app/dialup/PasswordScrambler.h"
#include "viewer/gui/IniFile.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ConnectionWizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.File("vantlow.ini");
        ras.entries = {"Provider", "Office"};
    }

    // Settings as the file holds them now.
    DialSettings Stored() { return DialSettings::Read(IniFile(path)); }

    void Store(const DialSettings& settings) {
        IniFile config(path);
        settings.Write(config);
    }

    AppTempDir dir;
    std::string path;
    FakeRas ras;
    ScriptedAppPrompts prompts;
};

TEST_F(ConnectionWizardTest, FirstPageChoosesFromTheModeAndForwardReadsFinishOnlyForNo) {
    DialSettings settings;
    settings.mode = DialMode::ScheduledOnly;
    Store(settings);
    IniFile config(path);
    DialUp dial(ras);
    ConnectionWizard wizard(config, dial, prompts);
    EXPECT_EQ(wizard.windowTitle(), dial_text::kWizardTitle);
    EXPECT_EQ(wizard.Page(), 0);
    EXPECT_TRUE(wizard.ModeButton(DialMode::ScheduledOnly)->isChecked());
    EXPECT_EQ(wizard.ModeButton(DialMode::Never)->text(), "No");
    EXPECT_EQ(wizard.ModeButton(DialMode::Always)->text(), "Always");
    EXPECT_EQ(wizard.ModeButton(DialMode::ScheduledOnly)->text(), "Only when processing scheduled jobs");
    EXPECT_EQ(wizard.ForwardButton()->text(), "Next >");
    EXPECT_FALSE(wizard.PreviousButton()->isVisibleTo(&wizard));
    wizard.ModeButton(DialMode::Never)->setChecked(true);
    EXPECT_EQ(wizard.ForwardButton()->text(), "Finish");
    wizard.ModeButton(DialMode::Always)->setChecked(true);
    EXPECT_EQ(wizard.ForwardButton()->text(), "Next >");
    for (const char* note : {dial_text::kModeNoNote, dial_text::kModeAlwaysNote, dial_text::kModeScheduledNote}) {
        bool found = false;
        for (QLabel* label : wizard.findChildren<QLabel*>()) found = found || label->text() == note;
        EXPECT_TRUE(found) << note;
    }
}

TEST_F(ConnectionWizardTest, FinishWithNoWritesAllSixKeys) {
    DialSettings settings;
    settings.mode = DialMode::Always;
    settings.entryName = "Office";
    settings.password = "kept";
    Store(settings);
    IniFile config(path);
    DialUp dial(ras);
    ConnectionWizard wizard(config, dial, prompts);
    wizard.ModeButton(DialMode::Never)->setChecked(true);
    wizard.ForwardButton()->click();
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    DialSettings stored = Stored();
    EXPECT_EQ(stored.mode, DialMode::Never);
    EXPECT_EQ(stored.entryName, "Office");
    EXPECT_EQ(stored.password, "kept");
    std::string text = ReadText(path);
    for (const char* key : {"username=", "password=", "domain=", "phonebookentry=", "UsingCurrentUser=",
                            "CareAboutDialing=0"})
        EXPECT_NE(text.find(key), std::string::npos) << key;
    // No phone book was needed for "No".
    EXPECT_EQ(ras.EnumCalls(), 0);
}

TEST_F(ConnectionWizardTest, CancelOnEitherPageWritesNothing) {
    IniFile config(path);
    DialUp dial(ras);
    {
        ConnectionWizard wizard(config, dial, prompts);
        wizard.ModeButton(DialMode::Always)->setChecked(true);
        wizard.CancelButton()->click();
        EXPECT_EQ(wizard.result(), QDialog::Rejected);
    }
    {
        ConnectionWizard wizard(config, dial, prompts);
        wizard.ModeButton(DialMode::Always)->setChecked(true);
        wizard.ForwardButton()->click();
        ASSERT_EQ(wizard.Page(), 1);
        wizard.Connections()->setCurrentRow(1);
        wizard.CancelButton()->click();
    }
    EXPECT_EQ(ReadText(path), "");
}

TEST_F(ConnectionWizardTest, SecondPageListsTheEntriesWithTheStoredOneSelected) {
    DialSettings settings;
    settings.mode = DialMode::Always;
    settings.entryName = "Office";
    settings.useCurrentUser = true;
    settings.userName = "jane";
    Store(settings);
    IniFile config(path);
    DialUp dial(ras);
    ConnectionWizard wizard(config, dial, prompts);
    wizard.ForwardButton()->click();
    ASSERT_EQ(wizard.Page(), 1);
    EXPECT_EQ(wizard.ForwardButton()->text(), "Finish");
    EXPECT_EQ(wizard.PreviousButton()->text(), "< Previous");
    EXPECT_TRUE(wizard.PreviousButton()->isVisibleTo(&wizard));
    ASSERT_EQ(wizard.Connections()->count(), 2);
    EXPECT_EQ(wizard.Connections()->item(0)->text(), "Provider");
    EXPECT_EQ(wizard.Connections()->currentItem()->text(), "Office");
    EXPECT_EQ(wizard.CurrentUserBox()->text(), "using current user's name and password.");
    EXPECT_TRUE(wizard.CurrentUserBox()->isChecked());
    EXPECT_EQ(wizard.UserField()->text(), "jane");
    // The three fields only while the check box is off.
    EXPECT_FALSE(wizard.UserField()->isEnabled());
    EXPECT_FALSE(wizard.PasswordField()->isEnabled());
    EXPECT_FALSE(wizard.DomainField()->isEnabled());
    wizard.CurrentUserBox()->setChecked(false);
    EXPECT_TRUE(wizard.UserField()->isEnabled());
    EXPECT_TRUE(wizard.PasswordField()->isEnabled());
    EXPECT_TRUE(wizard.DomainField()->isEnabled());
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(ConnectionWizardTest, PasswordFieldShowsStarsAndKeepsTheStoredPasswordUnlessEdited) {
    DialSettings settings;
    settings.mode = DialMode::Always;
    settings.entryName = "Provider";
    settings.password = "secret";
    settings.useCurrentUser = false;
    Store(settings);
    std::string storedText = ReadText(path);
    {
        IniFile config(path);
        DialUp dial(ras);
        ConnectionWizard wizard(config, dial, prompts);
        wizard.ForwardButton()->click();
        EXPECT_EQ(wizard.PasswordField()->text(), "******");
        EXPECT_EQ(wizard.PasswordField()->echoMode(), QLineEdit::Password);
        wizard.UserField()->setText("joe");
        wizard.ForwardButton()->click();
        EXPECT_EQ(wizard.result(), QDialog::Accepted);
    }
    EXPECT_EQ(Stored().password, "secret");
    EXPECT_EQ(Stored().userName, "joe");
    EXPECT_NE(ReadText(path).find("password=" + ScramblePasswordHex("secret")), std::string::npos);
    {
        IniFile config(path);
        DialUp dial(ras);
        ConnectionWizard wizard(config, dial, prompts);
        wizard.ForwardButton()->click();
        wizard.PasswordField()->clear();
        QTest::keyClicks(wizard.PasswordField(), "n3w pw");
        wizard.DomainField()->setText("HOME");
        wizard.ForwardButton()->click();
    }
    EXPECT_EQ(Stored().password, "n3w pw");
    EXPECT_EQ(Stored().domain, "HOME");
    EXPECT_NE(ReadText(path).find("password=" + ScramblePasswordHex("n3w pw")), std::string::npos);
}

TEST_F(ConnectionWizardTest, FinishAndPreviousNeedASelectedConnection) {
    IniFile config(path);
    DialUp dial(ras);
    ConnectionWizard wizard(config, dial, prompts);
    wizard.ModeButton(DialMode::ScheduledOnly)->setChecked(true);
    wizard.ForwardButton()->click();
    ASSERT_EQ(wizard.Page(), 1);
    ASSERT_EQ(wizard.Connections()->currentItem(), nullptr);
    wizard.ForwardButton()->click();
    EXPECT_EQ(prompts.errors, QStringList{dial_text::kSelectConnection});
    EXPECT_EQ(wizard.result(), 0);
    wizard.PreviousButton()->click();
    EXPECT_EQ(wizard.Page(), 1);
    EXPECT_EQ(prompts.errors.size(), 2);
    EXPECT_EQ(ReadText(path), "");

    wizard.Connections()->setCurrentRow(0);
    wizard.PreviousButton()->click();
    EXPECT_EQ(wizard.Page(), 0);
    EXPECT_EQ(wizard.ForwardButton()->text(), "Next >");
    // Going back stored the choice; going forward again does not list twice.
    wizard.ForwardButton()->click();
    EXPECT_EQ(wizard.Connections()->currentItem()->text(), "Provider");
    EXPECT_EQ(ras.EnumCalls(), 2);  // one buffer too small, one with room
    wizard.ForwardButton()->click();
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(Stored().entryName, "Provider");
    EXPECT_EQ(Stored().mode, DialMode::ScheduledOnly);
}

TEST_F(ConnectionWizardTest, WithoutEntriesTheListIsDisabledAndTheUserCanGoBack) {
    ras.entries.clear();
    IniFile config(path);
    DialUp dial(ras);
    ConnectionWizard wizard(config, dial, prompts);
    wizard.ModeButton(DialMode::Always)->setChecked(true);
    wizard.ForwardButton()->click();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith(dial_text::kNoConnections));
    EXPECT_FALSE(wizard.Connections()->isEnabled());
    EXPECT_FALSE(wizard.UserField()->isEnabled());
    EXPECT_FALSE(wizard.PasswordField()->isEnabled());
    EXPECT_FALSE(wizard.DomainField()->isEnabled());
    wizard.ForwardButton()->click();
    EXPECT_EQ(prompts.errors.last(), dial_text::kSelectConnection);
    wizard.PreviousButton()->click();
    EXPECT_EQ(wizard.Page(), 0);
    wizard.ModeButton(DialMode::Never)->setChecked(true);
    wizard.ForwardButton()->click();
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(Stored().mode, DialMode::Never);
}

TEST_F(ConnectionWizardTest, MissingLibraryIsReportedOnTheSecondPage) {
    ras.available = false;
    IniFile config(path);
    DialUp dial(ras);
    ConnectionWizard wizard(config, dial, prompts);
    wizard.ModeButton(DialMode::Always)->setChecked(true);
    wizard.ForwardButton()->click();
    EXPECT_EQ(prompts.errors, QStringList{dial_text::kLibraryMissing});
    EXPECT_FALSE(wizard.Connections()->isEnabled());
}

TEST_F(ConnectionWizardTest, ListingErrorShowsTheBackendsText) {
    ras.enumError = 612;
    ras.errorTexts[612] = "The phone book could not be opened.";
    IniFile config(path);
    DialUp dial(ras);
    ConnectionWizard wizard(config, dial, prompts);
    wizard.ModeButton(DialMode::Always)->setChecked(true);
    wizard.ForwardButton()->click();
    EXPECT_EQ(prompts.errors.first(), "The phone book could not be opened.");
}

TEST_F(ConnectionWizardTest, GarbledSettingsOpenWithDefaults) {
    WriteText(path, "[Dial]\nCareAboutDialing=banana\npassword=not hex at all\nUsingCurrentUser=\n");
    IniFile config(path);
    DialUp dial(ras);
    ConnectionWizard wizard(config, dial, prompts);
    EXPECT_TRUE(wizard.ModeButton(DialMode::Never)->isChecked());
    EXPECT_EQ(wizard.PasswordField()->text(), "");
    EXPECT_TRUE(wizard.CurrentUserBox()->isChecked());
}

}  // namespace
