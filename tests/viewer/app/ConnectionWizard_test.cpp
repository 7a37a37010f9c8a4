#include "AppTestSupport.h"
#include "FakeRas.h"

#include "testsupport/TempDir.h"
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
    ConnectionWizardTest() { ras.entries = {"Provider", "Office"}; }

    // A wizard over the settings stored now; Finish or Cancel end it.
    std::unique_ptr<ConnectionWizard> Open() {
        config = std::make_unique<IniFile>(path);
        return std::make_unique<ConnectionWizard>(*config, dial, prompts);
    }
    DialSettings Stored() const { return DialSettings::Read(IniFile(path)); }
    void Store(DialMode mode, const std::string& entry = "", const std::string& password = "", bool currentUser = true) {
        DialSettings settings;
        settings.mode = mode, settings.entryName = entry, settings.password = password;
        settings.userName = "jane", settings.useCurrentUser = currentUser;
        IniFile file(path);
        settings.Write(file);
    }

    TempDir dir;
    std::string path = dir.file("vantlow.ini");
    FakeRas ras;
    DialUp dial{ras};
    ScriptedAppPrompts prompts;
    std::unique_ptr<IniFile> config;
};

}  // namespace

TEST_F(ConnectionWizardTest, FirstPageChoosesWhenToDialAndFinishesForNo) {
    Store(DialMode::ScheduledOnly, "Office", "kept");
    auto wizard = Open();
    EXPECT_EQ(wizard->windowTitle(), dial_text::kWizardTitle);
    EXPECT_EQ(wizard->Page(), 0);
    EXPECT_TRUE(wizard->ModeButton(DialMode::ScheduledOnly)->isChecked());
    EXPECT_FALSE(wizard->PreviousButton()->isVisibleTo(wizard.get()));
    QStringList texts;
    for (QLabel* label : wizard->findChildren<QLabel*>()) texts << label->text();
    for (const char* note : {dial_text::kModeNoNote, dial_text::kModeAlwaysNote, dial_text::kModeScheduledNote})
        EXPECT_TRUE(texts.contains(note)) << note;
    for (auto [mode, forward] : {std::pair{DialMode::Never, "Finish"}, {DialMode::Always, "Next >"},
                                 {DialMode::ScheduledOnly, "Next >"}, {DialMode::Never, "Finish"}}) {
        wizard->ModeButton(mode)->setChecked(true);
        EXPECT_EQ(wizard->ForwardButton()->text(), forward);
    }
    wizard->ForwardButton()->click();
    EXPECT_EQ(wizard->result(), QDialog::Accepted);
    EXPECT_EQ(Stored().mode, DialMode::Never);
    EXPECT_EQ(Stored().entryName + Stored().password, "Officekept");
    EXPECT_TRUE(ras.EnumBufferSizes().empty());  // no phone book needed for "No"
}

TEST_F(ConnectionWizardTest, SecondPageListsTheEntriesAndKeepsThePasswordUnlessEdited) {
    Store(DialMode::Always, "Office", "secret");
    auto wizard = Open();
    wizard->ForwardButton()->click();
    ASSERT_EQ(wizard->Page(), 1);
    EXPECT_EQ(wizard->ForwardButton()->text() + wizard->PreviousButton()->text(), "Finish< Previous");
    ASSERT_EQ(wizard->Connections()->count(), 2);
    EXPECT_EQ(wizard->Connections()->item(0)->text(), "Provider");
    EXPECT_EQ(wizard->Connections()->currentItem()->text(), "Office");
    EXPECT_EQ(wizard->CurrentUserBox()->text(), "using current user's name and password.");
    EXPECT_EQ(wizard->PasswordField()->text(), "******");
    EXPECT_EQ(wizard->PasswordField()->echoMode(), QLineEdit::Password);
    for (bool currentUser : {true, false}) {
        wizard->CurrentUserBox()->setChecked(currentUser);
        for (QLineEdit* field : {wizard->UserField(), wizard->PasswordField(), wizard->DomainField()})
            EXPECT_EQ(field->isEnabled(), !currentUser);
    }
    wizard->UserField()->setText("joe");
    wizard->ForwardButton()->click();
    EXPECT_EQ(wizard->result(), QDialog::Accepted);
    EXPECT_EQ(Stored().userName + "|" + Stored().password, "joe|secret");
    EXPECT_FALSE(Stored().useCurrentUser);

    wizard = Open();
    wizard->ForwardButton()->click();
    wizard->PasswordField()->clear();
    QTest::keyClicks(wizard->PasswordField(), "n3w pw");
    wizard->DomainField()->setText("HOME");
    wizard->ForwardButton()->click();
    EXPECT_EQ(Stored().password + "|" + Stored().domain, "n3w pw|HOME");
    EXPECT_NE(read_file(path).find("password=" + ScramblePasswordHex("n3w pw")), std::string::npos);
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(ConnectionWizardTest, LeavingTheSecondPageNeedsASelectedConnectionAndCancelWritesNothing) {
    auto wizard = Open();
    wizard->ModeButton(DialMode::ScheduledOnly)->setChecked(true);
    wizard->ForwardButton()->click();
    ASSERT_EQ(wizard->Connections()->currentItem(), nullptr);
    wizard->ForwardButton()->click();
    wizard->PreviousButton()->click();
    EXPECT_EQ(prompts.errors, QStringList({dial_text::kSelectConnection, dial_text::kSelectConnection}));
    EXPECT_EQ(wizard->Page(), 1);
    EXPECT_EQ(read_file(path), "");
    wizard->Connections()->setCurrentRow(0);
    wizard->PreviousButton()->click();
    EXPECT_EQ(wizard->Page(), 0);
    wizard->ForwardButton()->click();  // the choice was kept, and the entries are listed once
    EXPECT_EQ(wizard->Connections()->currentItem()->text(), "Provider");
    EXPECT_EQ(ras.EnumBufferSizes().size(), 2u);  // one buffer too small, one with room
    wizard->ForwardButton()->click();
    EXPECT_EQ(wizard->result(), QDialog::Accepted);
    EXPECT_EQ(Stored().entryName, "Provider");
    EXPECT_EQ(Stored().mode, DialMode::ScheduledOnly);
    const std::string stored = read_file(path);
    for (int page : {0, 1}) {
        auto wizard = Open();
        wizard->ModeButton(DialMode::Always)->setChecked(true);
        if (page == 1) wizard->ForwardButton()->click(), wizard->Connections()->setCurrentRow(1);
        wizard->CancelButton()->click();
        EXPECT_EQ(wizard->result(), QDialog::Rejected);
    }
    EXPECT_EQ(read_file(path), stored);
}

TEST_F(ConnectionWizardTest, BackendTroubleIsShownAndTheUserCanGoBack) {
    struct Case {
        std::function<void(FakeRas&)> setup;
        QString error;
    } cases[] = {
        {[](FakeRas& r) { r.entries.clear(); }, dial_text::kNoConnections},
        {[](FakeRas& r) { r.available = false; }, dial_text::kLibraryMissing},
        {[](FakeRas& r) { r.enumError = 612, r.errorTexts[612] = "The phone book could not be opened."; },
         "The phone book could not be opened."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error.toStdString());
        ras.entries = {"Provider"}, ras.available = true, ras.enumError = 0;
        c.setup(ras);
        prompts.errors.clear();
        auto wizard = Open();
        wizard->ModeButton(DialMode::Always)->setChecked(true);
        wizard->ForwardButton()->click();
        ASSERT_EQ(prompts.errors.size(), 1);
        EXPECT_TRUE(prompts.errors[0].startsWith(c.error));
        EXPECT_FALSE(wizard->Connections()->isEnabled());
        EXPECT_FALSE(wizard->UserField()->isEnabled() || wizard->PasswordField()->isEnabled());
        wizard->PreviousButton()->click();
        EXPECT_EQ(wizard->Page(), 0);
    }
    write_file(path, "[Dial]\nCareAboutDialing=banana\npassword=not hex at all\nUsingCurrentUser=\n");
    auto wizard = Open();
    EXPECT_TRUE(wizard->ModeButton(DialMode::Never)->isChecked());
    EXPECT_EQ(wizard->PasswordField()->text(), "");
    EXPECT_TRUE(wizard->CurrentUserBox()->isChecked());
}
