#include "viewer/gui/VantlowStatusBar.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>

VantlowStatusBar::VantlowStatusBar(QWidget* parent) : QStatusBar(parent) {
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setMinimumWidth(40);
    date_ = new QLabel(this);
    time_ = new QLabel(this);
    for (QLabel* field : {date_, time_}) {
        field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        field->setAlignment(Qt::AlignCenter);
    }
    QFontMetrics metrics(font());
    date_->setMinimumWidth(metrics.horizontalAdvance("00/00/0000") + 16);
    time_->setMinimumWidth(metrics.horizontalAdvance("00:00:00 PM") + 16);
    addWidget(text_, 1);
    addPermanentWidget(date_);
    addPermanentWidget(time_);
    RefreshClock();
    clock_.setInterval(1000);
    connect(&clock_, &QTimer::timeout, this, &VantlowStatusBar::RefreshClock);
    clock_.start();
}

void VantlowStatusBar::SetText(const QString& text) {
    // One line: a description with line breaks would make the bar grow.
    QString line = text;
    line.replace("\r\n", "   ");
    line.replace('\n', "   ");
    text_->setText(line);
}

QString VantlowStatusBar::Text() const {
    return text_->text();
}

QString VantlowStatusBar::DateText() const {
    return date_->text();
}

QString VantlowStatusBar::TimeText() const {
    return time_->text();
}

void VantlowStatusBar::RefreshClock() {
    QDateTime now = QDateTime::currentDateTime();
    QLocale locale;
    date_->setText(locale.toString(now.date(), QLocale::ShortFormat));
    // The locale's long time format has the seconds; the time zone is left out.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove('t');
    time_->setText(locale.toString(now.time(), format.trimmed()));
}
