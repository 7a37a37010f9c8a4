// "About Vantlow...": the program's picture, name, version and what it is
// for, in a box wide enough to read at a glance.
#pragma once

#include <QDialog>

class AboutBox : public QDialog {
public:
    explicit AboutBox(QWidget* parent);
};
