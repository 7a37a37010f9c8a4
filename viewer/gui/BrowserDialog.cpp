#include "viewer/gui/BrowserDialog.h"

#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/IniFile.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString PickWithFileDialog(QWidget* parent, const QString& start) {
    QString filter = QString("%1 (%2)").arg(gui_text::kProgramsFilter, gui_text::kProgramsPattern);
    return QFileDialog::getOpenFileName(parent, gui_text::kPickBrowser, start, filter);
}

}  // namespace

BrowserDialog::BrowserDialog(IniFile& config, QWidget* parent) : QDialog(parent), config_(config) {
    setWindowTitle(gui_text::kBrowserDialogTitle);
    pickProgram = PickWithFileDialog;

    auto* label = new QLabel(gui_text::kBrowserLabel, this);
    field_ = new QLineEdit(QString::fromStdString(config_.Read(ini::kGeneral, ini::kBrowser)), this);
    field_->setMinimumWidth(360);
    label->setBuddy(field_);
    search_ = new QPushButton(gui_text::kSearch, this);
    connect(search_, &QPushButton::clicked, this, &BrowserDialog::Search);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &BrowserDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &BrowserDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [this] {
        QMessageBox::information(this, gui_text::kBrowserDialogTitle,
                                 "Enter the command that starts your Web browser. The address of the page "
                                 "is added after it as one more argument.");
    });

    auto* row = new QHBoxLayout;
    row->addWidget(field_, 1);
    row->addWidget(search_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

void BrowserDialog::Search() {
    QString chosen = pickProgram ? pickProgram(this, field_->text()) : QString();
    if (chosen.isEmpty()) return;
    // A picked path with blanks must stay one word of the command.
    QString command = chosen.contains(' ') ? '"' + chosen + '"' : chosen;
    config_.Write(ini::kGeneral, ini::kBrowser, command.toStdString());
    field_->setText(command);
}

void BrowserDialog::accept() {
    config_.Write(ini::kGeneral, ini::kBrowser, field_->text().trimmed().toStdString());
    QDialog::accept();
}
