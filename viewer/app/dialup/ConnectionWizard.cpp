#include "viewer/app/dialup/ConnectionWizard.h"

#include "viewer/app/dialup/DialTexts.h"
#include "viewer/app/dialup/DialUp.h"
#include "viewer/app/jobs/AppPrompts.h"

#include "viewer/gui/IniFile.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

enum PageIndex { kModePage = 0, kConnectionPage = 1 };

QLabel* WrappedLabel(const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

ConnectionWizard::ConnectionWizard(IniFile& config, DialUp& dial, AppPrompts& prompts, QWidget* parent)
    : QDialog(parent), config_(config), dial_(dial), prompts_(prompts), settings_(DialSettings::Read(config)) {
    setWindowTitle(dial_text::kWizardTitle);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(BuildModePage());
    pages_->addWidget(BuildConnectionPage());

    previous_ = new QPushButton(dial_text::kPrevious, this);
    forward_ = new QPushButton(dial_text::kNext, this);
    cancel_ = new QPushButton(dial_text::kCancel, this);
    help_ = new QPushButton(dial_text::kHelp, this);
    forward_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {previous_, forward_, cancel_, help_}) buttons->addWidget(button);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addLayout(buttons);

    connect(forward_, &QPushButton::clicked, this, &ConnectionWizard::Forward);
    connect(previous_, &QPushButton::clicked, this, &ConnectionWizard::Previous);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(help_, &QPushButton::clicked, this, [this] { prompts_.Inform(this, dial_text::kWizardHelp); });

    pages_->setCurrentIndex(kModePage);
    previous_->hide();
    UpdateForwardText();
}

QWidget* ConnectionWizard::BuildModePage() {
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    auto* title = new QLabel(QString("<b>%1</b>").arg(dial_text::kWizardTitle), page);
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(WrappedLabel(dial_text::kModeQuestion, page), 1, 0, 1, 2);
    const std::array<std::pair<const char*, const char*>, 3> choices = {{
        {dial_text::kModeNo, dial_text::kModeNoNote},
        {dial_text::kModeAlways, dial_text::kModeAlwaysNote},
        {dial_text::kModeScheduled, dial_text::kModeScheduledNote},
    }};
    auto* group = new QButtonGroup(page);
    for (int i = 0; i < 3; i++) {
        modeButtons_[i] = new QRadioButton(choices[i].first, page);
        group->addButton(modeButtons_[i], i);
        grid->addWidget(modeButtons_[i], 2 + i, 0, Qt::AlignTop);
        grid->addWidget(WrappedLabel(choices[i].second, page), 2 + i, 1);
    }
    modeButtons_[static_cast<int>(settings_.mode)]->setChecked(true);
    connect(group, &QButtonGroup::idToggled, this, [this](int, bool) { UpdateForwardText(); });
    return page;
}

QWidget* ConnectionWizard::BuildConnectionPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(WrappedLabel(dial_text::kConnectionQuestion, page));
    layout->addWidget(new QLabel(dial_text::kAvailableConnections, page));
    connections_ = new QListWidget(page);
    connections_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(connections_);
    layout->addWidget(WrappedLabel(dial_text::kLoginQuestion, page));
    currentUser_ = new QCheckBox(dial_text::kUseCurrentUser, page);
    currentUser_->setChecked(settings_.useCurrentUser);
    layout->addWidget(currentUser_);

    auto* form = new QFormLayout;
    userName_ = new QLineEdit(QString::fromStdString(settings_.userName), page);
    // The stored password is never shown, only as many stars as it has.
    password_ = new QLineEdit(QString(static_cast<int>(settings_.password.size()), '*'), page);
    password_->setEchoMode(QLineEdit::Password);
    domain_ = new QLineEdit(QString::fromStdString(settings_.domain), page);
    form->addRow(dial_text::kUserName, userName_);
    form->addRow(dial_text::kPassword, password_);
    form->addRow(dial_text::kDomain, domain_);
    layout->addLayout(form);
    layout->addWidget(new QLabel(dial_text::kFieldsNote, page));

    connect(password_, &QLineEdit::textEdited, this, [this] { passwordEdited_ = true; });
    connect(currentUser_, &QCheckBox::toggled, this, [this] { UpdateLoginFields(); });
    UpdateLoginFields();
    return page;
}

int ConnectionWizard::Page() const {
    return pages_->currentIndex();
}

DialMode ConnectionWizard::ChosenMode() const {
    for (int i = 0; i < 3; i++)
        if (modeButtons_[i]->isChecked()) return static_cast<DialMode>(i);
    return DialMode::Never;
}

void ConnectionWizard::UpdateForwardText() {
    bool last = Page() == kConnectionPage || ChosenMode() == DialMode::Never;
    forward_->setText(last ? dial_text::kFinish : dial_text::kNext);
}

void ConnectionWizard::UpdateLoginFields() {
    bool enabled = connections_->isEnabled() && !currentUser_->isChecked();
    userName_->setEnabled(enabled);
    password_->setEnabled(enabled);
    domain_->setEnabled(enabled);
}

void ConnectionWizard::Forward() {
    if (Page() == kModePage) {
        settings_.mode = ChosenMode();
        if (settings_.mode == DialMode::Never) {
            Finish();
            return;
        }
        pages_->setCurrentIndex(kConnectionPage);
        previous_->show();
        UpdateForwardText();
        EnterConnectionPage();
        return;
    }
    if (StoreConnectionPage()) Finish();
}

void ConnectionWizard::Previous() {
    if (Page() != kConnectionPage) return;
    // With nothing to choose from there is nothing to check: going back is
    // how the user gets to "No".
    if (connections_->isEnabled() && !StoreConnectionPage()) return;
    pages_->setCurrentIndex(kModePage);
    previous_->hide();
    UpdateForwardText();
}

void ConnectionWizard::EnterConnectionPage() {
    if (listed_) return;
    listed_ = true;
    std::vector<std::string> names;
    std::string error;
    DialUp::ListResult result = dial_.ListConnections(names, error);
    if (result != DialUp::ListResult::Listed) prompts_.Error(this, QString::fromStdString(error));
    for (const std::string& name : names) {
        auto* item = new QListWidgetItem(QString::fromStdString(name), connections_);
        if (name == settings_.entryName && !connections_->currentItem()) connections_->setCurrentItem(item);
    }
    if (names.empty()) {
        if (result == DialUp::ListResult::Listed) prompts_.Error(this, dial_text::kNoConnections);
        connections_->setEnabled(false);
        currentUser_->setEnabled(false);
    }
    UpdateLoginFields();
}

bool ConnectionWizard::StoreConnectionPage() {
    QListWidgetItem* chosen = connections_->currentItem();
    if (!connections_->isEnabled() || !chosen || !chosen->isSelected()) {
        prompts_.Error(this, dial_text::kSelectConnection);
        return false;
    }
    settings_.entryName = chosen->text().toStdString();
    settings_.useCurrentUser = currentUser_->isChecked();
    settings_.userName = userName_->text().trimmed().toStdString();
    settings_.domain = domain_->text().trimmed().toStdString();
    if (passwordEdited_) settings_.password = password_->text().toStdString();
    return true;
}

void ConnectionWizard::Finish() {
    if (!settings_.Write(config_)) prompts_.Error(this, QString("The settings could not be written to ") +
                                                            QString::fromStdString(config_.Path()));
    accept();
}
