// The status bar: a text field for short messages and two fields with the
// current date and time in the user's locale, refreshed every second.
#pragma once

#include <QStatusBar>
#include <QTimer>

class QLabel;

class VantlowStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit VantlowStatusBar(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const;
    QString DateText() const;
    QString TimeText() const;

    // Shows the current date and time (the clock calls it).
    void RefreshClock();

private:
    QLabel* text_;
    QLabel* date_;
    QLabel* time_;
    QTimer clock_;
};
