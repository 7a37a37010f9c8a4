// "Configure Internet Connection": two pages over a copy of the dial-up
// settings. Page 1 chooses when to dial; page 2 (only when dialing at all)
// the phone-book entry and the login. "Finish" writes group "Dial", Cancel
// writes nothing.
#pragma once

#include "viewer/app/dialup/DialSettings.h"

#include <QDialog>

#include <array>

class AppPrompts;
class DialUp;
class IniFile;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;

class ConnectionWizard : public QDialog {
    Q_OBJECT
public:
    ConnectionWizard(IniFile& config, DialUp& dial, AppPrompts& prompts, QWidget* parent = nullptr);

    int Page() const;
    const DialSettings& Settings() const { return settings_; }

    QRadioButton* ModeButton(DialMode mode) const { return modeButtons_[static_cast<int>(mode)]; }
    QPushButton* ForwardButton() const { return forward_; }
    QPushButton* PreviousButton() const { return previous_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* HelpButton() const { return help_; }
    QListWidget* Connections() const { return connections_; }
    QCheckBox* CurrentUserBox() const { return currentUser_; }
    QLineEdit* UserField() const { return userName_; }
    QLineEdit* PasswordField() const { return password_; }
    QLineEdit* DomainField() const { return domain_; }

    void Forward();
    void Previous();

private:
    QWidget* BuildModePage();
    QWidget* BuildConnectionPage();
    DialMode ChosenMode() const;
    void UpdateForwardText();
    void UpdateLoginFields();
    void EnterConnectionPage();
    // Stores page 2 into the settings; false (with an error box) while no
    // connection is selected.
    bool StoreConnectionPage();
    void Finish();

    IniFile& config_;
    DialUp& dial_;
    AppPrompts& prompts_;
    DialSettings settings_;
    bool listed_ = false;
    bool passwordEdited_ = false;

    QStackedWidget* pages_;
    std::array<QRadioButton*, 3> modeButtons_{};
    QListWidget* connections_ = nullptr;
    QCheckBox* currentUser_ = nullptr;
    QLineEdit* userName_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* domain_ = nullptr;
    QPushButton* previous_;
    QPushButton* forward_;
    QPushButton* cancel_;
    QPushButton* help_;
};
