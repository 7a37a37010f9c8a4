#include "AppTestSupport.h"

#include "viewer/app/jobs/JobTexts.h"
#include "viewer/app/jobs/StartTimeDialog.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>

#include <gtest/gtest.h>

namespace {

class StartTimeDialogTest : public ::testing::Test {
protected:
    QDateTime now{QDate(2026, 3, 14), QTime(21, 30, 15, 500)};
    ScriptedAppPrompts prompts;
    StartTimeDialog dialog{prompts, [this] { return now; }};
};

TEST_F(StartTimeDialogTest, OpensWithTheCurrentDayAndTime) {
    EXPECT_EQ(dialog.windowTitle(), "Vantlow");
    EXPECT_EQ(dialog.DayField()->date(), QDate(2026, 3, 14));
    EXPECT_EQ(dialog.TimeField()->time(), QTime(21, 30, 15));
    bool question = false, note = false;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        question = question || label->text() == "Time to start the job?";
        note = note || label->text() == job_text::kMustNotTerminate;
    }
    EXPECT_TRUE(question);
    EXPECT_TRUE(note);
}

TEST_F(StartTimeDialogTest, RefusesATimeInThePast) {
    dialog.show();
    dialog.TimeField()->setTime(QTime(21, 30, 14));
    dialog.OkButton()->click();
    EXPECT_EQ(prompts.errors, QStringList{"The entered date is not valid."});
    EXPECT_TRUE(dialog.isVisible());
    dialog.DayField()->setDate(QDate(2026, 3, 13));
    dialog.TimeField()->setTime(QTime(23, 59, 59));
    dialog.OkButton()->click();
    EXPECT_EQ(prompts.errors.size(), 2);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(StartTimeDialogTest, AcceptsALaterTime) {
    dialog.show();
    dialog.TimeField()->setTime(QTime(21, 30, 16));
    dialog.OkButton()->click();
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.StartTime(), QDateTime(QDate(2026, 3, 14), QTime(21, 30, 16)));
}

TEST_F(StartTimeDialogTest, TheCurrentSecondItselfIsNotThePast) {
    dialog.show();
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(StartTimeDialogTest, TheFarFutureIsAccepted) {
    dialog.show();
    dialog.DayField()->setDate(dialog.DayField()->maximumDate());
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.StartTime().isValid());
    EXPECT_GT(dialog.StartTime().date().year(), 9000);
}

TEST_F(StartTimeDialogTest, ClockMovingOnMakesTheSameEntryThePast) {
    dialog.show();
    dialog.TimeField()->setTime(QTime(21, 31, 0));
    now = QDateTime(QDate(2026, 3, 14), QTime(21, 31, 1));
    dialog.OkButton()->click();
    EXPECT_EQ(prompts.errors, QStringList{"The entered date is not valid."});
}

TEST_F(StartTimeDialogTest, CancelCloses) {
    dialog.show();
    dialog.CancelButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
