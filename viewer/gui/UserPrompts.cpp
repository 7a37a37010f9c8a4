#include "viewer/gui/UserPrompts.h"

#include "viewer/gui/AboutBox.h"
#include "viewer/gui/BrowserDialog.h"
#include "viewer/gui/GuiTexts.h"

#include <QFileDialog>
#include <QMessageBox>

void DialogPrompts::Inform(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, gui_text::kProgramName, text);
}

bool DialogPrompts::AskYesNo(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, gui_text::kProgramName, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

bool DialogPrompts::EditBrowser(QWidget* parent, IniFile& config) {
    BrowserDialog dialog(config, parent);
    return dialog.exec() == QDialog::Accepted;
}

QString DialogPrompts::OpenFileName(QWidget* parent, const QString& title, const QStringList& filters) {
    return QFileDialog::getOpenFileName(parent, title, QString(), filters.join(";;"));
}

QString DialogPrompts::SaveFileName(QWidget* parent, const QString& title, const QStringList& filters) {
    return QFileDialog::getSaveFileName(parent, title, QString(), filters.join(";;"));
}

void DialogPrompts::About(QWidget* parent) {
    AboutBox box(parent);
    box.exec();
}
