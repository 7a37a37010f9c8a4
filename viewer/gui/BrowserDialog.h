// The browser dialog: the command that starts the user's browser, typed or
// picked with "Search...". OK stores the typed text; a picked file is stored
// at once, even when the dialog is cancelled afterwards.
#pragma once

#include <QDialog>

#include <functional>

class IniFile;
class QLineEdit;
class QPushButton;

class BrowserDialog : public QDialog {
    Q_OBJECT
public:
    BrowserDialog(IniFile& config, QWidget* parent = nullptr);

    // Asks for a program file, starting at the given path; empty when
    // cancelled. Replaceable so the dialog can be driven without a file dialog.
    std::function<QString(QWidget* parent, const QString& start)> pickProgram;

    QLineEdit* CommandField() const { return field_; }
    QPushButton* SearchButton() const { return search_; }

    void accept() override;

private:
    void Search();

    IniFile& config_;
    QLineEdit* field_;
    QPushButton* search_;
};
