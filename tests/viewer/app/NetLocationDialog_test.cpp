// "Open a new Net location" and the URL history it keeps.
#include "AppTestSupport.h"

#include "testsupport/TempDir.h"
#include "viewer/app/jobs/JobTexts.h"
#include "viewer/app/jobs/NetLocationDialog.h"
#include "viewer/app/jobs/SpinField.h"
#include "viewer/app/jobs/UrlHistory.h"
#include "viewer/gui/IniFile.h"

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
    TempDir dir;
    IniFile config{dir.file("vantlow.ini")};
    ScriptedAppPrompts prompts;
    JobRecord record;
};

}  // namespace

TEST_F(NetLocationDialogTest, FreshRecordShowsTheDefaultsAndTheFormDecidesTheButtons) {
    auto dialog = Make();
    EXPECT_EQ(dialog->windowTitle(), "Open a new Net location");
    QStringList texts;
    for (QLabel* label : dialog->findChildren<QLabel*>()) texts << label->text();
    for (const char* text : {job_text::kUrlLabel, job_text::kTextsOnlyQuestion, job_text::kShowGraphQuestion,
                             job_text::kGoOnlineQuestion, job_text::kLevelsQuestion, job_text::kDirectoryQuestion,
                             job_text::kOtherComputersQuestion, job_text::kOtherLevelsQuestion})
        EXPECT_TRUE(texts.contains(text)) << text;
    for (QRadioButton* chosen : {dialog->TextsOnly(), dialog->AskFirst(), dialog->OnlineYes(), dialog->LevelsMaximum(),
                                 dialog->LeaveDirectory(), dialog->DontFollowOthers(), dialog->OtherLevelsNone()})
        EXPECT_TRUE(chosen->isChecked()) << chosen->text().toStdString();
    EXPECT_EQ(dialog->Levels()->Text() + dialog->OtherLevels()->Text() + dialog->UrlBox()->currentText(), "11");
    EXPECT_FALSE(dialog->OtherLevels()->isEnabled());
    EXPECT_TRUE(dialog->ExecuteNowButton()->isDefault());
    for (QPushButton* button : {dialog->ExecuteDelayedButton(), dialog->AddAnotherButton()}) EXPECT_TRUE(button->isVisible());
    dialog->HelpButton()->click();
    EXPECT_EQ(prompts.informed.size(), 1);

    auto another = Make({NetLocationDialog::Form::Collect, false, true});
    EXPECT_EQ(another->windowTitle(), "Open another Net location");
    EXPECT_FALSE(another->ExecuteDelayedButton()->isVisible());
    EXPECT_TRUE(another->AddAnotherButton()->isVisible());
    auto into = Make({NetLocationDialog::Form::IntoWindow, true, false});
    EXPECT_FALSE(into->ExecuteDelayedButton()->isVisible() || into->AddAnotherButton()->isVisible());
}

TEST_F(NetLocationDialogTest, EachButtonChecksTheEntriesAndClosesWithItsOwnResult) {
    using Edit = std::function<void(NetLocationDialog&)>;
    auto levels = [](const char* text) { return Edit([text](NetLocationDialog& d) { d.Levels()->Edit()->setText(text); }); };
    struct Case {
        const char* url;
        Edit edit;
        int button, result;
        QString error;
        std::string startUrl = "";
    } cases[] = {
        {"example.org", {}, NetLocationDialog::kExecuteNow, 1, "", "http://example.org"},
        {"ftp://x", {}, NetLocationDialog::kExecuteDelayed, 5, "", "ftp://x"},
        {"  http://example.org/a b  ", {}, NetLocationDialog::kAddAnother, 6, "", "http://example.org/a b"},
        {"a.example", {}, NetLocationDialog::kCancelled, 0, ""},
        {"a.example", levels(" 2147483647 "), 1, 1, "", "http://a.example"},
        {"a.example", [](NetLocationDialog& d) { d.Levels()->Edit()->setText("two"), d.LevelsUnlimited()->setChecked(true); },
         1, 1, "", "http://a.example"},
        {"a.example", levels("two"), 1, 0, job_text::kNotNumeric},
        {"a.example", levels("2147483648"), 1, 0, job_text::kNotNumeric},
        {"a.example", levels("99999999999"), 1, 0, job_text::kNotNumeric},
        {"a.example", levels("-1"), 1, 0, job_text::kNotNumeric},
        {"a.example", levels("1e3"), 1, 0, job_text::kNotNumeric},
        {"a.example", levels(" "), 1, 0, job_text::kNotNumeric},
        {"a.example", levels("0x10"), 1, 0, job_text::kNotNumeric},
        {"a.example", [](NetLocationDialog& d) { d.OtherLevelsMaximum()->setChecked(true), d.OtherLevels()->Edit()->setText("many"); },
         1, 0, job_text::kNotNumeric},
        {"", {}, 1, 0, job_text::kNoUrl},
        {"   ", {}, 1, 0, job_text::kNoUrl},
        {"http://", {}, 1, 0, job_text::kNoUrl},
        {"http://a/\nb", {}, 1, 0, "*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.url) + " " + std::to_string(&c - cases));
        prompts.errors.clear();
        record = JobRecord();
        auto dialog = Make();
        dialog->UrlBox()->setEditText(c.url);
        if (c.edit) c.edit(*dialog);
        QPushButton* button = c.button == NetLocationDialog::kExecuteDelayed ? dialog->ExecuteDelayedButton()
                              : c.button == NetLocationDialog::kAddAnother  ? dialog->AddAnotherButton()
                              : c.button == NetLocationDialog::kCancelled   ? dialog->CancelButton()
                                                                            : dialog->ExecuteNowButton();
        button->click();
        EXPECT_EQ(dialog->result(), c.result);
        EXPECT_EQ(dialog->isVisible(), c.result == 0 && c.button != NetLocationDialog::kCancelled);
        EXPECT_EQ(prompts.errors.size(), c.error.isEmpty() ? 0 : 1);
        EXPECT_TRUE(c.error == "*" || prompts.errors.value(0) == c.error) << prompts.errors.value(0).toStdString();
        EXPECT_EQ(record.settings.startUrl, c.startUrl);  // taken over only when accepted
    }
    // The field in error has the focus; the history holds the accepted URLs, newest first.
    auto dialog = Make();
    dialog->UrlBox()->setEditText("a.example");
    dialog->OtherLevelsMaximum()->setChecked(true);
    dialog->OtherLevels()->Edit()->setText("x");
    dialog->ExecuteNowButton()->click();
    EXPECT_EQ(dialog->focusWidget(), dialog->OtherLevels()->Edit());
    EXPECT_EQ(ReadUrlHistory(config), (std::vector<std::string>{"http://a.example", "http://example.org/a b", "ftp://x",
                                                                "http://example.org"}));
}

TEST_F(NetLocationDialogTest, EveryChoiceGoesIntoTheRecordAndComesBackFromIt) {
    auto dialog = Make();
    dialog->UrlBox()->setEditText("http://b.example/dir/");
    for (QRadioButton* choice : {dialog->Everything(), dialog->ShowWithoutAsking(), dialog->OnlineNo(),
                                 dialog->StayInDirectory(), dialog->FollowOthers(), dialog->OtherLevelsMaximum()})
        choice->setChecked(true);
    dialog->Levels()->Edit()->setText("4");
    dialog->OtherLevels()->Edit()->setText("3");
    dialog->ExecuteNowButton()->click();
    const LoadSettings& s = record.settings;
    EXPECT_TRUE(s.loadPictures && record.showGraphAtOnce && !s.goOnline && s.limitLevels && !s.leaveStartDirectory &&
                s.followOtherComputers && s.limitOtherComputers);
    EXPECT_EQ(std::to_string(s.levels) + std::to_string(s.otherLevels), "43");
    auto again = Make();
    EXPECT_EQ(again->UrlBox()->currentText(), "http://b.example/dir/");
    for (QRadioButton* choice : {again->Everything(), again->ShowWithoutAsking(), again->OnlineNo(),
                                 again->StayInDirectory(), again->FollowOthers(), again->OtherLevelsMaximum()})
        EXPECT_TRUE(choice->isChecked()) << choice->text().toStdString();
    EXPECT_EQ(again->Levels()->Text() + again->OtherLevels()->Text(), "43");
}

TEST_F(NetLocationDialogTest, SpinButtonsAndTheOtherLevelsFollowingTheLevelsDown) {
    auto dialog = Make();
    SpinField* levels = dialog->Levels();
    for (auto [start, button, after] : {std::tuple{"1", levels->UpButton(), "2"}, {"1", levels->DownButton(), "0"},
                                        {"0", levels->DownButton(), "0"}, {"2147483647", levels->UpButton(), "2147483647"},
                                        {"junk", levels->UpButton(), "1"}}) {
        levels->Edit()->setText(start);
        button->click();
        EXPECT_EQ(levels->Text(), after) << start;
    }
    record.settings.levels = 3, record.settings.otherLevels = 3, record.settings.limitOtherComputers = true;
    dialog = Make();
    EXPECT_TRUE(dialog->OtherLevels()->isEnabled());
    dialog->Levels()->DownButton()->click();
    EXPECT_EQ(dialog->Levels()->Text() + dialog->OtherLevels()->Text(), "22");
    dialog->Levels()->Edit()->setText("0");
    dialog->Levels()->UpButton()->click();  // up again: the other number stays where it was pushed
    EXPECT_EQ(dialog->OtherLevels()->Text(), "0");
    dialog->LevelsUnlimited()->setChecked(true);
    EXPECT_FALSE(dialog->Levels()->isEnabled());
    dialog->Levels()->Edit()->setText("5");
    dialog->OtherLevels()->Edit()->setText("4");
    dialog->Levels()->Edit()->setText("1");
    EXPECT_EQ(dialog->OtherLevels()->Text(), "4");  // not lowered while unlimited
    dialog->LevelsMaximum()->setChecked(true);
    EXPECT_EQ(dialog->OtherLevels()->Text(), "1");
    EXPECT_TRUE(dialog->Levels()->isEnabled());
    dialog->OtherLevelsNone()->setChecked(true);
    EXPECT_FALSE(dialog->OtherLevels()->isEnabled());
}

TEST_F(NetLocationDialogTest, HistoryIsOfferedNewestFirstAtMostTen) {
    for (int i = 0; i < 12; i++) PushUrlHistory(config, "http://site" + std::to_string(i) + "/");
    auto dialog = Make();
    ASSERT_EQ(dialog->UrlBox()->count(), 10);
    EXPECT_EQ(dialog->UrlBox()->itemText(0) + " " + dialog->UrlBox()->itemText(9), "http://site11/ http://site2/");
    EXPECT_EQ(dialog->UrlBox()->currentText(), "http://site11/");  // the newest fills an empty record
    record.settings.startUrl = "http://node.example/page.html";
    EXPECT_EQ(Make()->UrlBox()->currentText(), "http://node.example/page.html");
    for (const char* line : {"[ParsedURLs]\n", "Count=10\n", "URL0=http://site11/\n"})
        EXPECT_NE(read_file(dir.file("vantlow.ini")).find(line), std::string::npos) << line;
    // Used again: to the front, once; the old tenth entry goes even so.
    EXPECT_EQ(PushUrlHistory(config, "http://site5/").size(), 9u);
    EXPECT_EQ(ReadUrlHistory(config).front() + " " + ReadUrlHistory(config).back(), "http://site5/ http://site3/");
    for (auto [text, urls] : {std::pair<const char*, size_t>{"Count=abc\nURL0=http://x/\n", 0},
                              {"Count=-3\nURL0=http://x/\n", 0}, {"Count=99999999999999999999\nURL0=http://x/\n", 0},
                              {"Count=4000000000\nURL0=http://x/\nURL1=\nURL2=http://z/\n", 2}}) {
        write_file(dir.file("vantlow.ini"), std::string("[ParsedURLs]\n") + text + "\x01\x02garbage\n");
        IniFile garbled(dir.file("vantlow.ini"));
        EXPECT_EQ(ReadUrlHistory(garbled).size(), urls) << text;
        EXPECT_EQ(NetLocationDialog(record, garbled, prompts, {}).UrlBox()->count(), static_cast<int>(urls)) << text;
    }
}
