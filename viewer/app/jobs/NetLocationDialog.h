// "Open a new Net location": the start URL of a load job and its limits.
// Opens with the job record's choices and the URL history; each of the three
// execute buttons runs the acceptance check and closes the dialog with its
// own result only when the check passes.
#pragma once

#include "viewer/app/jobs/JobRecord.h"

#include <QDialog>

class AppPrompts;
class IniFile;
class QComboBox;
class QPushButton;
class QRadioButton;
class QGroupBox;
class QHBoxLayout;
class SpinField;

class NetLocationDialog : public QDialog {
    Q_OBJECT
public:
    enum Result { kCancelled = 0, kExecuteNow = 1, kExecuteDelayed = 5, kAddAnother = 6 };

    enum class Form {
        Collect,     // a job of a new run: all buttons
        IntoWindow,  // a job into an existing graph window: it runs at once
    };

    struct Options {
        Form form = Form::Collect;
        bool offerDelayed = true;  // no delayed run is waiting
        bool jobsCollected = false;
    };

    NetLocationDialog(JobRecord& record, IniFile& config, AppPrompts& prompts, const Options& options,
                      QWidget* parent = nullptr);

    // Runs the acceptance check; on success the record holds the dialog's
    // choices and the dialog closes with result.
    bool Accept(int result);

    QComboBox* UrlBox() const { return url_; }
    QRadioButton* TextsOnly() const { return textsOnly_; }
    QRadioButton* Everything() const { return everything_; }
    QRadioButton* ShowWithoutAsking() const { return showAtOnce_; }
    QRadioButton* AskFirst() const { return askFirst_; }
    QRadioButton* OnlineNo() const { return onlineNo_; }
    QRadioButton* OnlineYes() const { return onlineYes_; }
    QRadioButton* LevelsMaximum() const { return levelsMax_; }
    QRadioButton* LevelsUnlimited() const { return levelsUnlimited_; }
    SpinField* Levels() const { return levels_; }
    QRadioButton* StayInDirectory() const { return directoryYes_; }
    QRadioButton* LeaveDirectory() const { return directoryNo_; }
    QRadioButton* FollowOthers() const { return othersYes_; }
    QRadioButton* DontFollowOthers() const { return othersNo_; }
    QRadioButton* OtherLevelsNone() const { return otherNone_; }
    QRadioButton* OtherLevelsMaximum() const { return otherMax_; }
    SpinField* OtherLevels() const { return otherLevels_; }
    QPushButton* ExecuteNowButton() const { return executeNow_; }
    QPushButton* ExecuteDelayedButton() const { return executeDelayed_; }
    QPushButton* AddAnotherButton() const { return addAnother_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* HelpButton() const { return help_; }

private:
    void BuildControls();
    QGroupBox* BuildLimits();
    QHBoxLayout* BuildButtons();
    void SetFromRecord();
    // Enables the number fields of the chosen "Maximum:" and keeps the
    // number for other computers at most the level number.
    void UpdateLimits();
    bool CheckNumber(QRadioButton* maximum, SpinField* field);

    JobRecord& record_;
    IniFile& config_;
    AppPrompts& prompts_;
    Options options_;

    QComboBox* url_ = nullptr;
    QRadioButton* textsOnly_ = nullptr;
    QRadioButton* everything_ = nullptr;
    QRadioButton* showAtOnce_ = nullptr;
    QRadioButton* askFirst_ = nullptr;
    QRadioButton* onlineNo_ = nullptr;
    QRadioButton* onlineYes_ = nullptr;
    QRadioButton* levelsMax_ = nullptr;
    QRadioButton* levelsUnlimited_ = nullptr;
    SpinField* levels_ = nullptr;
    QRadioButton* directoryYes_ = nullptr;
    QRadioButton* directoryNo_ = nullptr;
    QRadioButton* othersYes_ = nullptr;
    QRadioButton* othersNo_ = nullptr;
    QRadioButton* otherNone_ = nullptr;
    QRadioButton* otherMax_ = nullptr;
    SpinField* otherLevels_ = nullptr;
    QPushButton* executeNow_ = nullptr;
    QPushButton* executeDelayed_ = nullptr;
    QPushButton* addAnother_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* help_ = nullptr;
};
