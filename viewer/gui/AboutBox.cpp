#include "viewer/gui/AboutBox.h"

#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/Icons.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString("About ") + gui_text::kProgramName);
    auto* picture = new QLabel(this);
    picture->setPixmap(WindowIcon().pixmap(64, 64));
    picture->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(QString("<h2>%1</h2><p>%2</p><p>%3</p>")
                                .arg(gui_text::kProgramName, gui_text::kVersionLine, gui_text::kAboutText),
                            this);
    text->setWordWrap(true);
    text->setMinimumWidth(320);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(picture);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}
