#include "viewer/app/jobs/EndOfLoadWindow.h"

#include "viewer/app/jobs/JobTexts.h"

#include "viewer/gui/GraphWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

EndOfLoadWindow::EndOfLoadWindow(GraphWindow* window, std::string startUrl, bool graphShown, Actions actions,
                                 const QString& outcome, bool startFailed, QWidget* parent)
    : QDialog(parent),
      window_(window),
      startUrl_(std::move(startUrl)),
      graphShown_(graphShown),
      actions_(std::move(actions)) {
    setWindowTitle(job_text::kProgramName);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    // Offline reading is offered only for what was loaded.
    message_ = new QLabel(startFailed ? outcome : QString(job_text::kCanDisconnect) + "\n\n" + outcome, this);
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    message_->setMinimumWidth(360);
    layout->addWidget(message_);

    browser_ = new QPushButton(job_text::kStartBrowser, this);
    showGraph_ = new QPushButton(job_text::kShowGraph, this);
    close_ = new QPushButton(job_text::kCancel, this);
    close_->setToolTip(job_text::kCloseHelp);
    close_->setStatusTip(job_text::kCloseHelp);
    close_->setWhatsThis(job_text::kCloseHelp);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(browser_);
    buttons->addWidget(showGraph_);
    buttons->addWidget(close_);
    layout->addLayout(buttons);

    connect(browser_, &QPushButton::clicked, this, &EndOfLoadWindow::StartBrowser);
    connect(showGraph_, &QPushButton::clicked, this, &EndOfLoadWindow::ShowGraph);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    if (graphShown_) MarkShown();
}

void EndOfLoadWindow::MarkShown() {
    graphShown_ = true;
    showGraph_->hide();
    close_->setText(job_text::kClose);
}

void EndOfLoadWindow::StartBrowser() {
    if (actions_.startBrowser) actions_.startBrowser(this, startUrl_);
    close();
}

void EndOfLoadWindow::ShowGraph() {
    if (graphShown_) return;
    if (window_ && actions_.showGraph) actions_.showGraph(*window_);
    MarkShown();
}

void EndOfLoadWindow::closeEvent(QCloseEvent* event) {
    // A graph nobody asked to see goes with its window.
    if (!graphShown_ && window_) {
        if (!window_->CloseWindow()) {
            event->ignore();
            return;
        }
    }
    QDialog::closeEvent(event);
    // The graph on view takes the keyboard back, whatever had it before.
    if (graphShown_ && window_) window_->window()->activateWindow();
}

