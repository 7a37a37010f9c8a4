// A number field with its spin button: a line edit (the user may type
// anything; the dialog checks it) and two arrow buttons. Up adds 1, down
// subtracts 1 but never goes below 0; text that is not a number counts as 0.
#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

class QLineEdit;
class QToolButton;

class SpinField : public QWidget {
    Q_OBJECT
public:
    explicit SpinField(QWidget* parent = nullptr);

    QLineEdit* Edit() const { return edit_; }
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

    QString Text() const;
    void SetValue(int32_t value);
    // The field's number: digits only (blanks around them allowed), 0 to
    // 2147483647; nothing otherwise.
    std::optional<int32_t> Value() const;

    void StepUp();
    void StepDown();

    static std::optional<int32_t> ParseLevel(const QString& text);

signals:
    // The text changed, by typing or by the spin button.
    void Changed();

private:
    QLineEdit* edit_;
    QToolButton* up_;
    QToolButton* down_;
};
