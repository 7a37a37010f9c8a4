// "Time to start the job?": the day and time of a delayed run. OK refuses a
// date that is not valid or lies before now.
#pragma once

#include <QDateTime>
#include <QDialog>

#include <functional>

class AppPrompts;
class QDateEdit;
class QPushButton;
class QTimeEdit;

class StartTimeDialog : public QDialog {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    StartTimeDialog(AppPrompts& prompts, Clock now, QWidget* parent = nullptr);

    QDateEdit* DayField() const { return day_; }
    QTimeEdit* TimeField() const { return time_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // The entered day and time (seconds, local time).
    QDateTime StartTime() const;
    // OK: closes with Accepted when the entry is valid and not in the past.
    bool Accept();

private:
    AppPrompts& prompts_;
    Clock now_;
    QDateEdit* day_;
    QTimeEdit* time_;
    QPushButton* ok_;
    QPushButton* cancel_;
};
