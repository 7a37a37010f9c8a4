#include "viewer/app/jobs/AppPrompts.h"

#include "viewer/app/jobs/JobTexts.h"

#include <QDialog>
#include <QMessageBox>

void BoxPrompts::Error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, job_text::kProgramName, text);
}

void BoxPrompts::Inform(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, job_text::kProgramName, text);
}

bool BoxPrompts::AskYesNo(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, job_text::kProgramName, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

int BoxPrompts::Run(QDialog& dialog) {
    return dialog.exec();
}
