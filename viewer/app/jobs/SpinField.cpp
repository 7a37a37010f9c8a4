#include "viewer/app/jobs/SpinField.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <limits>

SpinField::SpinField(QWidget* parent) : QWidget(parent) {
    edit_ = new QLineEdit(this);
    edit_->setMaximumWidth(90);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {up_, down_}) {
        button->setAutoRepeat(true);
        button->setFixedSize(16, 11);
        button->setFocusPolicy(Qt::NoFocus);
    }
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->addWidget(up_);
    arrows->addWidget(down_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(edit_);
    layout->addLayout(arrows);
    layout->addStretch();
    connect(edit_, &QLineEdit::textChanged, this, &SpinField::Changed);
    connect(up_, &QToolButton::clicked, this, &SpinField::StepUp);
    connect(down_, &QToolButton::clicked, this, &SpinField::StepDown);
}

QString SpinField::Text() const {
    return edit_->text();
}

void SpinField::SetValue(int32_t value) {
    QString text = QString::number(value);
    if (edit_->text() != text) edit_->setText(text);
}

std::optional<int32_t> SpinField::ParseLevel(const QString& raw) {
    QString text = raw.trimmed();
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    for (QChar c : text)
        if (c < '0' || c > '9') return std::nullopt;
    qint64 value = text.toLongLong();
    if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<int32_t> SpinField::Value() const {
    return ParseLevel(edit_->text());
}

void SpinField::StepUp() {
    int32_t value = Value().value_or(0);
    if (value < std::numeric_limits<int32_t>::max()) value++;
    SetValue(value);
}

void SpinField::StepDown() {
    int32_t value = Value().value_or(0);
    if (value > 0) value--;
    SetValue(value);
}
