#include "viewer/app/jobs/StartTimeDialog.h"

#include "viewer/app/jobs/AppPrompts.h"
#include "viewer/app/jobs/JobTexts.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

QDateTime WholeSeconds(const QDateTime& when) {
    QTime time = when.time();
    return QDateTime(when.date(), QTime(time.hour(), time.minute(), time.second()));
}

}  // namespace

StartTimeDialog::StartTimeDialog(AppPrompts& prompts, Clock now, QWidget* parent)
    : QDialog(parent), prompts_(prompts), now_(std::move(now)) {
    setWindowTitle(job_text::kProgramName);
    QDateTime current = WholeSeconds(now_());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(job_text::kTimeToStart, this));
    day_ = new QDateEdit(current.date(), this);
    day_->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    day_->setCalendarPopup(true);
    time_ = new QTimeEdit(current.time(), this);
    time_->setDisplayFormat("HH:mm:ss");
    auto* form = new QFormLayout;
    form->addRow(job_text::kDay, day_);
    form->addRow(job_text::kTime, time_);
    layout->addLayout(form);
    auto* note = new QLabel(job_text::kMustNotTerminate, this);
    note->setWordWrap(true);
    layout->addWidget(note);

    ok_ = new QPushButton(job_text::kOk, this);
    cancel_ = new QPushButton(job_text::kCancel, this);
    ok_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &StartTimeDialog::Accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

QDateTime StartTimeDialog::StartTime() const {
    return QDateTime(day_->date(), time_->time());
}

bool StartTimeDialog::Accept() {
    QDateTime start = StartTime();
    if (!day_->date().isValid() || !time_->time().isValid() || !start.isValid() ||
        start < WholeSeconds(now_())) {
        prompts_.Error(this, job_text::kDateNotValid);
        return false;
    }
    accept();
    return true;
}
