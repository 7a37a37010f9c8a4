#include "viewer/app/jobs/ProgressWindow.h"

#include "viewer/app/jobs/AppPrompts.h"
#include "viewer/app/jobs/JobTexts.h"
#include "viewer/gui/PageText.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A line of the window shows at most this much of a page's text.
constexpr qsizetype kLineLimit = 500;

// The one event type the worker posts; registered once per process.
QEvent::Type ProgressEventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

// One posted update with its arguments; Qt frees it after delivery.
class ProgressWindow::Update : public QEvent {
public:
    Update(Kind kind, int line, QString text, int count)
        : QEvent(ProgressEventType()), kind(kind), line(line), text(std::move(text)), count(count) {}

    const Kind kind;
    const int line;
    const QString text;
    const int count;
};

ProgressWindow::ProgressWindow(AppPrompts& prompts, QWidget* parent) : QDialog(parent), prompts_(prompts) {
    setWindowTitle(job_text::kProgramName);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(job_text::kPleaseWait, this));

    int lineHeight = QFontMetrics(font()).height();
    for (int i = 0; i < LoadProgress::kLines; i++) {
        // Plain text and no buddy: no character is taken for a mnemonic,
        // so URLs are shown exactly as they are.
        lines_[i] = new QLabel(this);
        lines_[i]->setTextFormat(Qt::PlainText);
        lines_[i]->setMinimumHeight(lineHeight);
        lines_[i]->setMinimumWidth(480);
        layout->addWidget(lines_[i]);
    }

    layout->addWidget(new QLabel(job_text::kMessages, this));
    messages_ = new QListWidget(this);
    messages_->setMinimumHeight(lineHeight * 4);
    layout->addWidget(messages_);

    // Documents done out of those known so far; the known ones grow as links are found.
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 1);
    bar_->setValue(0);
    bar_->setFormat(job_text::kDoneOfKnown);
    layout->addWidget(bar_);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(job_text::kLeft, this));
    left_ = new QLabel(this);
    left_->setMinimumWidth(60);
    bottom->addWidget(left_);
    bottom->addStretch();
    stop_ = new QPushButton(job_text::kStop, this);
    bottom->addWidget(stop_);
    layout->addLayout(bottom);

    connect(stop_, &QPushButton::clicked, this, &ProgressWindow::StopPressed);
}

ProgressWindow::~ProgressWindow() {
    // Updates still queued for this window go with it.
    QCoreApplication::removePostedEvents(this, ProgressEventType());
}

void ProgressWindow::Post(Kind kind, int line, const std::string& text, int count) {
    QCoreApplication::postEvent(this, new Update(kind, line, PageText(text, kLineLimit), count));
}

void ProgressWindow::SetLine(int line, const std::string& text) {
    if (line < 0 || line >= LoadProgress::kLines) return;
    Post(Kind::Line, line, text);
}

void ProgressWindow::AddMessage(const std::string& text) {
    Post(Kind::Message, 0, text);
}

void ProgressWindow::ItemsDone(int count) {
    Post(Kind::Done, 0, std::string(), count);
}

void ProgressWindow::ItemsLeft(int count) {
    Post(Kind::Left, 0, std::string(), count);
}

void ProgressWindow::Finish() {
    Post(Kind::Finish, 0, std::string());
}

void ProgressWindow::PostStatus(const std::string& text) {
    Post(Kind::Status, 0, text);
}

void ProgressWindow::PostError(const std::string& text) {
    Post(Kind::Error, 0, text);
}

void ProgressWindow::customEvent(QEvent* event) {
    if (event->type() != ProgressEventType()) {
        QDialog::customEvent(event);
        return;
    }
    const auto* update = static_cast<const Update*>(event);
    switch (update->kind) {
    case Kind::Line: ShowLine(update->line, update->text); break;
    case Kind::Message:
        messages_->addItem(update->text);
        messages_->scrollToBottom();
        problems_ = true;
        break;
    case Kind::Left:
        leftCount_ = update->count;
        ShowCounts();
        break;
    case Kind::Done:
        done_ = update->count;
        ShowCounts();
        break;
    case Kind::Finish: FinishNow(); break;
    case Kind::Status:
        if (statusSink) statusSink(update->text);
        break;
    case Kind::Error: prompts_.Error(this, update->text); break;
    }
}

void ProgressWindow::ShowLine(int line, const QString& text) {
    texts_[line] = text;
    int row = 0;
    for (const QString& shown : texts_)
        if (!shown.isEmpty()) lines_[row++]->setText(shown);
    while (row < LoadProgress::kLines) lines_[row++]->clear();
}

void ProgressWindow::ShowCounts() {
    left_->setText(QString::number(leftCount_));
    bar_->setRange(0, std::max(done_ + leftCount_, 1));
    bar_->setValue(done_);
}

void ProgressWindow::FinishNow() {
    if (!problems_) {
        finished_ = true;
        done(1);
        return;
    }
    ShowLine(0, job_text::kSomeProblems);
    stop_->setText(job_text::kOk);
    stop_->setEnabled(true);
    finished_ = true;
    stopRequested_ = false;
}

void ProgressWindow::StopPressed() {
    if (stopRequested_.load()) return;
    if (finished_) {
        done(1);
        return;
    }
    if (!prompts_.AskYesNo(this, job_text::kReallyCancelLoading)) return;
    // The job may have ended while the question was open.
    if (finished_ || stopRequested_.load()) return;
    for (int i = 0; i < LoadProgress::kLines; i++) ShowLine(i, QString());
    ShowLine(0, job_text::kWaitForCurrentAction);
    stopRequested_ = true;
    stop_->setEnabled(false);
}

void ProgressWindow::reject() {
    StopPressed();
}

void ProgressWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    running_ = true;
}
