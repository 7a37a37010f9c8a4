#include "viewer/app/jobs/NetLocationDialog.h"

#include "viewer/app/jobs/AppPrompts.h"
#include "viewer/app/jobs/JobTexts.h"
#include "viewer/app/jobs/SpinField.h"
#include "viewer/app/jobs/UrlHistory.h"
#include "viewer/gui/IniFile.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <climits>
#include <cstdlib>

namespace {

// [Load] MaxDocuments in vantlow.ini: the most documents one job loads; a
// missing, zero or unreadable value means no limit.
int32_t MaxDocumentsSetting(const IniFile& config) {
    const std::string text = config.Read("Load", "MaxDocuments", "0");
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || value < 0 || value > INT32_MAX) return 0;
    return static_cast<int32_t>(value);
}

// A question with its two answers side by side, the answers exclusive.
QWidget* Question(QWidget* parent, const char* text, QRadioButton* first, QRadioButton* second,
                  QWidget* besideSecond = nullptr) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 4, 0, 4);
    auto* label = new QLabel(text, box);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto* answers = new QHBoxLayout;
    answers->setContentsMargins(16, 0, 0, 0);
    answers->addWidget(first);
    answers->addSpacing(12);
    answers->addWidget(second);
    if (besideSecond) answers->addWidget(besideSecond);
    answers->addStretch();
    layout->addLayout(answers);
    auto* group = new QButtonGroup(box);
    group->addButton(first);
    group->addButton(second);
    return box;
}

bool HasControlCharacters(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return true;
    return false;
}

}  // namespace

NetLocationDialog::NetLocationDialog(JobRecord& record, IniFile& config, AppPrompts& prompts,
                                     const Options& options, QWidget* parent)
    : QDialog(parent), record_(record), config_(config), prompts_(prompts), options_(options) {
    bool another = options.jobsCollected || options.form == Form::IntoWindow;
    setWindowTitle(another ? job_text::kOpenAnotherTitle : job_text::kOpenNewTitle);
    BuildControls();
    SetFromRecord();
    UpdateLimits();
}

void NetLocationDialog::BuildControls() {
    using namespace job_text;
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(kUrlLabel, this));
    url_ = new QComboBox(this);
    url_->setEditable(true);
    url_->setInsertPolicy(QComboBox::NoInsert);
    url_->setMinimumContentsLength(48);
    layout->addWidget(url_);

    textsOnly_ = new QRadioButton(kTextsOnly, this);
    everything_ = new QRadioButton(kEverything, this);
    layout->addWidget(Question(this, kTextsOnlyQuestion, textsOnly_, everything_));
    showAtOnce_ = new QRadioButton(kShowWithoutAsking, this);
    askFirst_ = new QRadioButton(kAskFirst, this);
    layout->addWidget(Question(this, kShowGraphQuestion, showAtOnce_, askFirst_));
    onlineNo_ = new QRadioButton(kOnlineNo, this);
    onlineYes_ = new QRadioButton(kOnlineYes, this);
    layout->addWidget(Question(this, kGoOnlineQuestion, onlineNo_, onlineYes_));
    layout->addWidget(BuildLimits());
    layout->addLayout(BuildButtons());

    connect(levels_, &SpinField::Changed, this, &NetLocationDialog::UpdateLimits);
    for (QRadioButton* choice : findChildren<QRadioButton*>())
        connect(choice, &QRadioButton::toggled, this, &NetLocationDialog::UpdateLimits);
}

QGroupBox* NetLocationDialog::BuildLimits() {
    using namespace job_text;
    auto* limits = new QGroupBox(kLimitsGroup, this);
    auto* limitsLayout = new QVBoxLayout(limits);
    levelsMax_ = new QRadioButton(kMaximum, limits);
    levels_ = new SpinField(limits);
    levelsUnlimited_ = new QRadioButton(kUnlimited, limits);
    {
        // "Maximum:" with its field first, then "Unlimited".
        auto* box = new QWidget(limits);
        auto* boxLayout = new QVBoxLayout(box);
        boxLayout->setContentsMargins(0, 4, 0, 4);
        boxLayout->addWidget(new QLabel(kLevelsQuestion, box));
        auto* answers = new QHBoxLayout;
        answers->setContentsMargins(16, 0, 0, 0);
        answers->addWidget(levelsMax_);
        answers->addWidget(levels_);
        answers->addSpacing(12);
        answers->addWidget(levelsUnlimited_);
        answers->addStretch();
        boxLayout->addLayout(answers);
        auto* group = new QButtonGroup(box);
        group->addButton(levelsMax_);
        group->addButton(levelsUnlimited_);
        limitsLayout->addWidget(box);
    }
    directoryYes_ = new QRadioButton(kYes, limits);
    directoryNo_ = new QRadioButton(kNo, limits);
    limitsLayout->addWidget(Question(limits, kDirectoryQuestion, directoryYes_, directoryNo_));
    othersYes_ = new QRadioButton(kYes, limits);
    othersNo_ = new QRadioButton(kNo, limits);
    limitsLayout->addWidget(Question(limits, kOtherComputersQuestion, othersYes_, othersNo_));
    otherNone_ = new QRadioButton(kNoFurtherLevels, limits);
    otherNone_->setAccessibleName("No further levels on other computers");
    otherMax_ = new QRadioButton(kMaximum, limits);
    otherLevels_ = new SpinField(limits);
    limitsLayout->addWidget(Question(limits, kOtherLevelsQuestion, otherNone_, otherMax_, otherLevels_));
    return limits;
}

QHBoxLayout* NetLocationDialog::BuildButtons() {
    using namespace job_text;
    executeNow_ = new QPushButton(job_text::kExecuteNow, this);
    executeDelayed_ = new QPushButton(job_text::kExecuteDelayed, this);
    addAnother_ = new QPushButton(kAddAnotherUrl, this);
    cancel_ = new QPushButton(kCancel, this);
    help_ = new QPushButton(kHelp, this);
    executeNow_->setDefault(true);
    for (QPushButton* button : {executeDelayed_, addAnother_, cancel_, help_}) button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {executeNow_, executeDelayed_, addAnother_, cancel_, help_})
        buttons->addWidget(button);

    bool collect = options_.form == Form::Collect;
    executeDelayed_->setVisible(collect && options_.offerDelayed);
    addAnother_->setVisible(collect);

    connect(executeNow_, &QPushButton::clicked, this, [this] { Accept(kExecuteNow); });
    connect(executeDelayed_, &QPushButton::clicked, this, [this] { Accept(kExecuteDelayed); });
    connect(addAnother_, &QPushButton::clicked, this, [this] { Accept(kAddAnother); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(help_, &QPushButton::clicked, this, [this] { prompts_.Inform(this, job_text::kNetLocationHelp); });
    return buttons;
}

void NetLocationDialog::SetFromRecord() {
    const LoadSettings& s = record_.settings;
    std::vector<std::string> history = ReadUrlHistory(config_);
    for (const std::string& entry : history) url_->addItem(QString::fromStdString(entry));
    std::string text = !s.startUrl.empty() ? s.startUrl : history.empty() ? std::string() : history.front();
    url_->setEditText(QString::fromStdString(text));

    (s.loadPictures ? everything_ : textsOnly_)->setChecked(true);
    (record_.showGraphAtOnce ? showAtOnce_ : askFirst_)->setChecked(true);
    (s.goOnline ? onlineYes_ : onlineNo_)->setChecked(true);
    (s.limitLevels ? levelsMax_ : levelsUnlimited_)->setChecked(true);
    levels_->SetValue(s.levels);
    (s.leaveStartDirectory ? directoryNo_ : directoryYes_)->setChecked(true);
    (s.followOtherComputers ? othersYes_ : othersNo_)->setChecked(true);
    (s.limitOtherComputers ? otherMax_ : otherNone_)->setChecked(true);
    otherLevels_->SetValue(s.otherLevels);
}

void NetLocationDialog::UpdateLimits() {
    levels_->setEnabled(levelsMax_->isChecked());
    otherLevels_->setEnabled(otherMax_->isChecked());
    if (!levelsMax_->isChecked()) return;
    std::optional<int32_t> level = levels_->Value();
    std::optional<int32_t> other = otherLevels_->Value();
    if (level && other && *other > *level) otherLevels_->SetValue(*level);
}

bool NetLocationDialog::CheckNumber(QRadioButton* maximum, SpinField* field) {
    if (!maximum->isChecked() || field->Value()) return true;
    prompts_.Error(this, job_text::kNotNumeric);
    field->Edit()->setFocus();
    field->Edit()->selectAll();
    return false;
}

bool NetLocationDialog::Accept(int result) {
    if (!CheckNumber(levelsMax_, levels_) || !CheckNumber(otherMax_, otherLevels_)) return false;
    QString url = url_->currentText().trimmed();
    if (url.isEmpty() || url == "http://") {
        prompts_.Error(this, job_text::kNoUrl);
        url_->setFocus();
        return false;
    }
    if (HasControlCharacters(url)) {
        prompts_.Error(this, job_text::kUrlControlCharacters);
        url_->setFocus();
        return false;
    }

    LoadSettings& s = record_.settings;
    s.loadPictures = everything_->isChecked();
    record_.showGraphAtOnce = showAtOnce_->isChecked();
    s.goOnline = onlineYes_->isChecked();
    s.limitLevels = levelsMax_->isChecked();
    if (std::optional<int32_t> level = levels_->Value()) s.levels = *level;
    s.leaveStartDirectory = directoryNo_->isChecked();
    s.followOtherComputers = othersYes_->isChecked();
    s.limitOtherComputers = otherMax_->isChecked();
    if (std::optional<int32_t> other = otherLevels_->Value()) s.otherLevels = *other;
    s.maxDocuments = MaxDocumentsSetting(config_);

    std::string text = url.toStdString();
    if (text.find("://") == std::string::npos) text = "http://" + text;
    s.startUrl = text;
    PushUrlHistory(config_, text);
    done(result);
    return true;
}
