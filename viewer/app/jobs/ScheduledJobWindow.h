// "Scheduled Load Job": shows a delayed run while it waits. Closing it asks
// whether the run is to be cancelled.
#pragma once

#include <QDateTime>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class AppPrompts;
class QListWidget;

class ScheduledJobWindow : public QWidget {
    Q_OBJECT
public:
    ScheduledJobWindow(const QDateTime& start, const std::vector<std::string>& urls, AppPrompts& prompts,
                       std::function<void()> cancelRun, QWidget* parent = nullptr);

    QListWidget* Lines() const { return lines_; }
    QStringList LineTexts() const;

    // The run starts: the window goes without asking.
    void CloseForRun();

    // "The following URLs will be loaded on <long date> at <time> ."
    static QString HeadLine(const QDateTime& start);
    static QIcon ScheduleIcon();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    AppPrompts& prompts_;
    std::function<void()> cancelRun_;
    QListWidget* lines_;
    bool closingForRun_ = false;
};
