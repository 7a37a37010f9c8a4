#include "viewer/app/jobs/ScheduledJobWindow.h"

#include "viewer/app/jobs/AppPrompts.h"
#include "viewer/app/jobs/JobTexts.h"

#include <QCloseEvent>
#include <QIcon>
#include <QListWidget>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

// The locale's time format, with seconds even where it normally has none.
QString TimeWithSeconds(const QTime& time) {
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    if (!format.contains('s')) {
        int minutes = format.lastIndexOf("mm");
        format = minutes >= 0 ? format.insert(minutes + 2, ":ss") : QString("HH:mm:ss");
    }
    return QLocale().toString(time, format);
}

}  // namespace

ScheduledJobWindow::ScheduledJobWindow(const QDateTime& start, const std::vector<std::string>& urls,
                                       AppPrompts& prompts, std::function<void()> cancelRun, QWidget* parent)
    : QWidget(parent), prompts_(prompts), cancelRun_(std::move(cancelRun)) {
    setWindowTitle(job_text::kScheduledTitle);
    setWindowIcon(ScheduleIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    lines_ = new QListWidget(this);
    lines_->addItem(HeadLine(start));
    lines_->addItem(job_text::kToCancelClose);
    for (const std::string& url : urls) lines_->addItem(QString::fromStdString(url));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lines_);
}

QString ScheduledJobWindow::HeadLine(const QDateTime& start) {
    return QString(job_text::kWillBeLoadedOn) + QLocale().toString(start.date(), QLocale::LongFormat) +
           job_text::kAt + TimeWithSeconds(start.time()) + job_text::kLineEnd;
}

QStringList ScheduledJobWindow::LineTexts() const {
    QStringList texts;
    for (int i = 0; i < lines_->count(); i++) texts << lines_->item(i)->text();
    return texts;
}

void ScheduledJobWindow::CloseForRun() {
    closingForRun_ = true;
    hide();
    if (QWidget* frame = parentWidget(); frame && frame->inherits("QMdiSubWindow")) {
        frame->close();
    } else {
        close();
    }
}

void ScheduledJobWindow::closeEvent(QCloseEvent* event) {
    if (closingForRun_) {
        event->accept();
        return;
    }
    if (!prompts_.AskYesNo(this, job_text::kReallyCancelScheduled)) {
        event->ignore();
        return;
    }
    if (cancelRun_) cancelRun_();
    event->accept();
}

QIcon ScheduledJobWindow::ScheduleIcon() {
    // A clock face: the run waits for its time.
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    painter.setBrush(QColor(0xFF, 0xFF, 0xE0));
    painter.drawEllipse(QRectF(3, 3, 26, 26));
    painter.drawLine(QPointF(16, 16), QPointF(16, 7));
    painter.drawLine(QPointF(16, 16), QPointF(23, 19));
    painter.end();
    return QIcon(picture);
}
