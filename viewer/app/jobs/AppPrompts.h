// Every modal thing the load-job and dial-up windows do goes through this
// interface: message boxes and the modal run of a dialog. The program uses
// the real boxes; tests answer from a script, so nothing ever blocks.
#pragma once

#include <QString>

class QDialog;
class QWidget;

class AppPrompts {
public:
    virtual ~AppPrompts() = default;

    // An error box.
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // An information box (help texts).
    virtual void Inform(QWidget* parent, const QString& text) = 0;
    // A yes/no query; true for yes.
    virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
    // Runs the dialog modally and returns its result code.
    virtual int Run(QDialog& dialog) = 0;
};

// The real boxes and QDialog::exec.
class BoxPrompts : public AppPrompts {
public:
    void Error(QWidget* parent, const QString& text) override;
    void Inform(QWidget* parent, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& text) override;
    int Run(QDialog& dialog) override;
};
