// The progress window of a running load job. The GUI thread runs it modally
// while the job's worker thread crawls; the worker never touches a widget:
// every line, message, count, status text and the end reach the window as
// events posted to the GUI thread, each carrying its own arguments. Only the
// stop request is read directly, by the worker.
#pragma once

#include "viewer/loader/LoadProgress.h"

#include <QDialog>

#include <array>
#include <atomic>
#include <functional>
#include <string>

class AppPrompts;
class QLabel;
class QProgressBar;
class QListWidget;
class QPushButton;

class ProgressWindow : public QDialog, public LoadProgress {
    Q_OBJECT
public:
    explicit ProgressWindow(AppPrompts& prompts, QWidget* parent = nullptr);
    ~ProgressWindow() override;

    // LoadProgress: from any thread.
    void SetLine(int line, const std::string& text) override;
    void AddMessage(const std::string& text) override;
    void ItemsLeft(int count) override;
    void ItemsDone(int count) override;
    // The crawl's end; the job body finishes the window after it.
    void End() override {}
    bool StopRequested() const override { return stopRequested_.load(); }

    // From any thread: the end of the job. Without problems the window
    // closes with result 1; otherwise it says so and waits for "OK".
    void Finish();
    // From any thread: a text for the status bar, an error box.
    void PostStatus(const std::string& text);
    void PostError(const std::string& text);
    // Where status texts go (on the GUI thread).
    std::function<void(const QString&)> statusSink;

    // The window is up (its modal run has begun); the worker waits for it.
    bool Running() const { return running_.load(); }
    // The modal run is over: a worker still waiting for it gives up.
    void Abandon() { abandoned_ = true; }
    bool Abandoned() const { return abandoned_.load(); }

    // The stop button (also Escape and closing the window).
    void StopPressed();
    // Stops the job without asking (GUI thread; the window is going away).
    void RequestStop() { stopRequested_ = true; }

    // The text of a document's line; the window shows the lines in use
    // one below the other, without gaps.
    QString LineText(int line) const { return texts_[line]; }
    QLabel* Line(int row) const { return lines_[row]; }
    QListWidget* Messages() const { return messages_; }
    QLabel* LeftField() const { return left_; }
    QProgressBar* Bar() const { return bar_; }
    QPushButton* StopButton() const { return stop_; }
    bool Finished() const { return finished_; }
    bool Problems() const { return problems_; }

    void reject() override;

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    enum class Kind { Line, Message, Left, Done, Finish, Status, Error };
    class Update;

    void Post(Kind kind, int line, const std::string& text, int count = 0);
    void ShowLine(int line, const QString& text);
    void ShowCounts();
    void FinishNow();

    AppPrompts& prompts_;
    std::array<QLabel*, LoadProgress::kLines> lines_{};
    std::array<QString, LoadProgress::kLines> texts_{};
    QListWidget* messages_;
    QProgressBar* bar_;
    QLabel* left_;
    int done_ = 0;
    int leftCount_ = 0;
    QPushButton* stop_;

    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> abandoned_{false};
    bool finished_ = false;
    bool problems_ = false;
};
