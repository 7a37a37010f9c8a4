// Every modal question the program puts to the user goes through this
// interface, so tests can answer without a dialog ever blocking.
#pragma once

#include <QString>
#include <QStringList>

class IniFile;
class QWidget;

class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    virtual void Inform(QWidget* parent, const QString& text) = 0;
    virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
    // The browser dialog on the "General"/"Browser" key; true for OK.
    virtual bool EditBrowser(QWidget* parent, IniFile& config) = 0;
    // A file name, or empty when the user cancelled. filters: "Name (*.ext)".
    virtual QString OpenFileName(QWidget* parent, const QString& title, const QStringList& filters) = 0;
    virtual QString SaveFileName(QWidget* parent, const QString& title, const QStringList& filters) = 0;
    virtual void About(QWidget* parent) = 0;
};

// The real dialogs: message boxes, file dialogs and the browser dialog.
class DialogPrompts : public UserPrompts {
public:
    void Inform(QWidget* parent, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& text) override;
    bool EditBrowser(QWidget* parent, IniFile& config) override;
    QString OpenFileName(QWidget* parent, const QString& title, const QStringList& filters) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QStringList& filters) override;
    void About(QWidget* parent) override;
};
