#include "AppTestSupport.h"

#include "viewer/app/jobs/JobTexts.h"
#include "viewer/app/jobs/NetLocationDialog.h"
#include "viewer/app/jobs/SpinField.h"
#include "viewer/app/jobs/UrlHistory.h"
#include "viewer/gui/IniFile.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class NetLocationDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<NetLocationDialog> Make(NetLocationDialog::Options options = {}) {
        auto dialog = std::make_unique<NetLocationDialog>(record, config, prompts, options);
        dialog->show();
        return dialog;
    }

    AppTempDir dir;
    IniFile config{dir.File("vantlow.ini")};
    ScriptedAppPrompts prompts;
    JobRecord record;
};

bool HasLabel(QWidget& widget, const QString& text) {
    for (QLabel* label : widget.findChildren<QLabel*>())
        if (label->text() == text) return true;
    return false;
}

TEST_F(NetLocationDialogTest, FreshRecordShowsEveryControlWithItsDefault) {
    auto dialog = Make();
    EXPECT_EQ(dialog->windowTitle(), "Open a new Net location");
    for (const char* text :
         {job_text::kUrlLabel, job_text::kTextsOnlyQuestion, job_text::kShowGraphQuestion, job_text::kGoOnlineQuestion,
          job_text::kLevelsQuestion, job_text::kDirectoryQuestion, job_text::kOtherComputersQuestion,
          job_text::kOtherLevelsQuestion})
        EXPECT_TRUE(HasLabel(*dialog, text)) << text;
    EXPECT_EQ(dialog->TextsOnly()->text(), "Load only &texts.");
    EXPECT_TRUE(dialog->TextsOnly()->isChecked());
    EXPECT_EQ(dialog->ShowWithoutAsking()->text(), "Yes, with&out asking.");
    EXPECT_EQ(dialog->AskFirst()->text(), "No, ask fi&rst.");
    EXPECT_TRUE(dialog->AskFirst()->isChecked());
    EXPECT_TRUE(dialog->OnlineYes()->isChecked());
    EXPECT_TRUE(dialog->LevelsMaximum()->isChecked());
    EXPECT_EQ(dialog->Levels()->Text(), "1");
    EXPECT_TRUE(dialog->LeaveDirectory()->isChecked());     // "No" to staying in the directory
    EXPECT_TRUE(dialog->DontFollowOthers()->isChecked());
    EXPECT_TRUE(dialog->OtherLevelsNone()->isChecked());
    EXPECT_EQ(dialog->OtherLevels()->Text(), "1");
    EXPECT_TRUE(dialog->Levels()->isEnabled());
    EXPECT_FALSE(dialog->OtherLevels()->isEnabled());
    EXPECT_EQ(dialog->ExecuteNowButton()->text(), "E&xecute now");
    EXPECT_TRUE(dialog->ExecuteNowButton()->isDefault());
    EXPECT_EQ(dialog->ExecuteDelayedButton()->text(), "Execute &delayed");
    EXPECT_TRUE(dialog->ExecuteDelayedButton()->isVisible());
    EXPECT_EQ(dialog->AddAnotherButton()->text(), "Add &another URL");
    EXPECT_TRUE(dialog->AddAnotherButton()->isVisible());
    EXPECT_EQ(dialog->UrlBox()->currentText(), "");
}

TEST_F(NetLocationDialogTest, TitleAndButtonsFollowTheJobsAlreadyCollectedAndAWaitingRun) {
    NetLocationDialog::Options options;
    options.jobsCollected = true;
    options.offerDelayed = false;
    auto dialog = Make(options);
    EXPECT_EQ(dialog->windowTitle(), "Open another Net location");
    EXPECT_FALSE(dialog->ExecuteDelayedButton()->isVisible());
    EXPECT_TRUE(dialog->AddAnotherButton()->isVisible());

    NetLocationDialog::Options intoWindow;
    intoWindow.form = NetLocationDialog::Form::IntoWindow;
    auto into = Make(intoWindow);
    EXPECT_FALSE(into->ExecuteDelayedButton()->isVisible());
    EXPECT_FALSE(into->AddAnotherButton()->isVisible());
    EXPECT_TRUE(into->ExecuteNowButton()->isVisible());
}

TEST_F(NetLocationDialogTest, NonNumericLevelWithMaximumIsRefused) {
    auto dialog = Make();
    dialog->UrlBox()->setEditText("example.org");
    dialog->Levels()->Edit()->setText("two");
    dialog->ExecuteNowButton()->click();
    EXPECT_EQ(prompts.errors, QStringList{"Please enter a numeric value."});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), 0);
    EXPECT_EQ(dialog->focusWidget(), dialog->Levels()->Edit());
    // Nothing was taken over, nothing written.
    EXPECT_EQ(record.settings.startUrl, "");
    EXPECT_TRUE(ReadUrlHistory(config).empty());
}

TEST_F(NetLocationDialogTest, NonNumericLevelWithUnlimitedIsAccepted) {
    auto dialog = Make();
    dialog->UrlBox()->setEditText("example.org");
    dialog->Levels()->Edit()->setText("two");
    dialog->LevelsUnlimited()->setChecked(true);
    dialog->ExecuteNowButton()->click();
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_EQ(dialog->result(), NetLocationDialog::kExecuteNow);
    EXPECT_FALSE(record.settings.limitLevels);
    EXPECT_EQ(record.settings.levels, 1);  // the unreadable field leaves the number as it was
}

TEST_F(NetLocationDialogTest, LevelsBeyondThe32BitRangeOrNegativeAreRefused) {
    for (const char* text : {"2147483648", "99999999999", "-1", "1e3", " ", "0x10"}) {
        prompts.errors.clear();
        auto dialog = Make();
        dialog->UrlBox()->setEditText("example.org");
        dialog->Levels()->Edit()->setText(text);
        dialog->ExecuteNowButton()->click();
        EXPECT_EQ(prompts.errors, QStringList{job_text::kNotNumeric}) << text;
        EXPECT_EQ(dialog->result(), 0) << text;
    }
    auto dialog = Make();
    dialog->UrlBox()->setEditText("example.org");
    dialog->Levels()->Edit()->setText(" 2147483647 ");
    dialog->ExecuteNowButton()->click();
    EXPECT_EQ(dialog->result(), NetLocationDialog::kExecuteNow);
    EXPECT_EQ(record.settings.levels, 2147483647);
}

TEST_F(NetLocationDialogTest, UnreadableOtherLevelsWithMaximumAreRefusedToo) {
    auto dialog = Make();
    dialog->UrlBox()->setEditText("example.org");
    dialog->OtherLevelsMaximum()->setChecked(true);
    dialog->OtherLevels()->Edit()->setText("many");
    dialog->ExecuteNowButton()->click();
    EXPECT_EQ(prompts.errors, QStringList{job_text::kNotNumeric});
    EXPECT_EQ(dialog->focusWidget(), dialog->OtherLevels()->Edit());
    dialog->OtherLevelsNone()->setChecked(true);
    dialog->ExecuteNowButton()->click();
    EXPECT_EQ(dialog->result(), NetLocationDialog::kExecuteNow);
}

TEST_F(NetLocationDialogTest, UrlWithoutSchemeGetsHttpAndOneWithASchemeStaysAsTyped) {
    auto dialog = Make();
    dialog->UrlBox()->setEditText("example.org");
    dialog->ExecuteNowButton()->click();
    EXPECT_EQ(record.settings.startUrl, "http://example.org");

    JobRecord other;
    NetLocationDialog second(other, config, prompts, {});
    second.UrlBox()->setEditText("ftp://x");
    second.ExecuteNowButton()->click();
    EXPECT_EQ(other.settings.startUrl, "ftp://x");
    EXPECT_EQ(ReadUrlHistory(config), (std::vector<std::string>{"ftp://x", "http://example.org"}));
}

TEST_F(NetLocationDialogTest, EmptyOrBrokenUrlsAreRefused) {
    for (const char* text : {"", "   ", "http://"}) {
        prompts.errors.clear();
        auto dialog = Make();
        dialog->UrlBox()->setEditText(text);
        dialog->ExecuteNowButton()->click();
        EXPECT_EQ(prompts.errors, QStringList{job_text::kNoUrl}) << text;
        EXPECT_EQ(dialog->result(), 0);
    }
    prompts.errors.clear();
    auto dialog = Make();
    dialog->UrlBox()->setEditText(QString("http://a/\nb"));
    dialog->ExecuteNowButton()->click();
    EXPECT_EQ(dialog->result(), 0);
    EXPECT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(ReadUrlHistory(config).empty());
}

TEST_F(NetLocationDialogTest, BlanksAroundTheUrlAreDropped) {
    auto dialog = Make();
    dialog->UrlBox()->setEditText("  http://example.org/a b  ");
    dialog->AddAnotherButton()->click();
    EXPECT_EQ(record.settings.startUrl, "http://example.org/a b");
}

TEST_F(NetLocationDialogTest, HistoryIsOfferedNewestFirstAndTheNewestFillsAnEmptyRecord) {
    for (const char* url : {"http://one/", "http://two/", "http://three/"}) PushUrlHistory(config, url);
    auto dialog = Make();
    ASSERT_EQ(dialog->UrlBox()->count(), 3);
    EXPECT_EQ(dialog->UrlBox()->itemText(0), "http://three/");
    EXPECT_EQ(dialog->UrlBox()->itemText(2), "http://one/");
    EXPECT_EQ(dialog->UrlBox()->currentText(), "http://three/");

    record.settings.startUrl = "http://node.example/page.html";
    auto expand = Make();
    EXPECT_EQ(expand->UrlBox()->currentText(), "http://node.example/page.html");
}

TEST_F(NetLocationDialogTest, HistoryKeepsTheNewestFirstAndAtMostTen) {
    for (int i = 0; i < 11; i++) {
        JobRecord job;
        NetLocationDialog dialog(job, config, prompts, {});
        dialog.UrlBox()->setEditText(QString("site%1.example").arg(i));
        dialog.ExecuteNowButton()->click();
    }
    auto dialog = Make();
    ASSERT_EQ(dialog->UrlBox()->count(), 10);
    EXPECT_EQ(dialog->UrlBox()->itemText(0), "http://site10.example");
    EXPECT_EQ(dialog->UrlBox()->itemText(9), "http://site1.example");
}

TEST_F(NetLocationDialogTest, GarbledHistoryOpensEmpty) {
    WriteText(dir.File("vantlow.ini"), "[ParsedURLs]\nCount=lots\nURL0=http://x/\n\x01\x02garbage\n");
    IniFile garbled(dir.File("vantlow.ini"));
    NetLocationDialog dialog(record, garbled, prompts, {});
    EXPECT_EQ(dialog.UrlBox()->count(), 0);
    EXPECT_EQ(dialog.UrlBox()->currentText(), "");
}

TEST_F(NetLocationDialogTest, SpinButtonsCountUpAndDownButNeverBelowZero) {
    auto dialog = Make();
    SpinField* levels = dialog->Levels();
    levels->UpButton()->click();
    EXPECT_EQ(levels->Text(), "2");
    levels->DownButton()->click();
    levels->DownButton()->click();
    EXPECT_EQ(levels->Text(), "0");
    levels->DownButton()->click();
    EXPECT_EQ(levels->Text(), "0");
    levels->Edit()->setText("2147483647");
    levels->UpButton()->click();
    EXPECT_EQ(levels->Text(), "2147483647");
    levels->Edit()->setText("junk");
    levels->UpButton()->click();
    EXPECT_EQ(levels->Text(), "1");
}

TEST_F(NetLocationDialogTest, OtherLevelsFollowTheLevelNumberDown) {
    record.settings.levels = 3;
    record.settings.otherLevels = 3;
    record.settings.limitOtherComputers = true;
    auto dialog = Make();
    dialog->Levels()->DownButton()->click();
    EXPECT_EQ(dialog->Levels()->Text(), "2");
    EXPECT_EQ(dialog->OtherLevels()->Text(), "2");
    dialog->Levels()->Edit()->setText("0");
    EXPECT_EQ(dialog->OtherLevels()->Text(), "0");
    // Up again: the other number stays where it was pushed.
    dialog->Levels()->UpButton()->click();
    EXPECT_EQ(dialog->OtherLevels()->Text(), "0");
}

TEST_F(NetLocationDialogTest, OtherLevelsAreNotLoweredWhileLevelsAreUnlimited) {
    record.settings.levels = 5;
    record.settings.otherLevels = 4;
    record.settings.limitLevels = false;
    auto dialog = Make();
    dialog->Levels()->Edit()->setText("1");
    EXPECT_EQ(dialog->OtherLevels()->Text(), "4");
    // Choosing "Maximum:" is a change of a choice: now it is lowered.
    dialog->LevelsMaximum()->setChecked(true);
    EXPECT_EQ(dialog->OtherLevels()->Text(), "1");
}

TEST_F(NetLocationDialogTest, NumberFieldsAreEnabledOnlyWithTheirMaximum) {
    auto dialog = Make();
    dialog->LevelsUnlimited()->setChecked(true);
    EXPECT_FALSE(dialog->Levels()->isEnabled());
    dialog->LevelsMaximum()->setChecked(true);
    EXPECT_TRUE(dialog->Levels()->isEnabled());
    dialog->OtherLevelsMaximum()->setChecked(true);
    EXPECT_TRUE(dialog->OtherLevels()->isEnabled());
    dialog->OtherLevelsNone()->setChecked(true);
    EXPECT_FALSE(dialog->OtherLevels()->isEnabled());
}

TEST_F(NetLocationDialogTest, EachExecuteButtonClosesWithItsOwnResult) {
    auto now = Make();
    now->UrlBox()->setEditText("a.example");
    now->ExecuteNowButton()->click();
    EXPECT_EQ(now->result(), 1);
    auto delayed = Make();
    delayed->UrlBox()->setEditText("a.example");
    delayed->ExecuteDelayedButton()->click();
    EXPECT_EQ(delayed->result(), 5);
    auto another = Make();
    another->UrlBox()->setEditText("a.example");
    another->AddAnotherButton()->click();
    EXPECT_EQ(another->result(), 6);
    auto cancel = Make();
    cancel->CancelButton()->click();
    EXPECT_EQ(cancel->result(), 0);
    EXPECT_FALSE(cancel->isVisible());
}

TEST_F(NetLocationDialogTest, EveryChoiceGoesIntoTheRecord) {
    auto dialog = Make();
    dialog->UrlBox()->setEditText("http://b.example/dir/");
    dialog->Everything()->setChecked(true);
    dialog->ShowWithoutAsking()->setChecked(true);
    dialog->OnlineNo()->setChecked(true);
    dialog->Levels()->Edit()->setText("4");
    dialog->StayInDirectory()->setChecked(true);
    dialog->FollowOthers()->setChecked(true);
    dialog->OtherLevelsMaximum()->setChecked(true);
    dialog->OtherLevels()->Edit()->setText("3");
    dialog->ExecuteNowButton()->click();
    const LoadSettings& s = record.settings;
    EXPECT_EQ(s.startUrl, "http://b.example/dir/");
    EXPECT_TRUE(s.loadPictures);
    EXPECT_TRUE(record.showGraphAtOnce);
    EXPECT_FALSE(s.goOnline);
    EXPECT_TRUE(s.limitLevels);
    EXPECT_EQ(s.levels, 4);
    EXPECT_FALSE(s.leaveStartDirectory);
    EXPECT_TRUE(s.followOtherComputers);
    EXPECT_TRUE(s.limitOtherComputers);
    EXPECT_EQ(s.otherLevels, 3);

    // The same record opens the dialog with those choices.
    NetLocationDialog again(record, config, prompts, {});
    EXPECT_TRUE(again.Everything()->isChecked());
    EXPECT_TRUE(again.ShowWithoutAsking()->isChecked());
    EXPECT_TRUE(again.OnlineNo()->isChecked());
    EXPECT_EQ(again.Levels()->Text(), "4");
    EXPECT_TRUE(again.StayInDirectory()->isChecked());
    EXPECT_TRUE(again.FollowOthers()->isChecked());
    EXPECT_TRUE(again.OtherLevelsMaximum()->isChecked());
    EXPECT_EQ(again.OtherLevels()->Text(), "3");
}

TEST_F(NetLocationDialogTest, HelpExplainsTheDialog) {
    auto dialog = Make();
    dialog->HelpButton()->click();
    EXPECT_EQ(prompts.informed.size(), 1);
    EXPECT_TRUE(dialog->isVisible());
}

}  // namespace
