#include "app/FrameSpinBox.h"

#include <QKeyEvent>

namespace {

// The typed text as a whole number above `maximum`, or 0.
qlonglong aboveMaximum(const QString& input, int maximum)
{
    bool number = false;
    const qlonglong n = input.trimmed().toLongLong(&number);
    return number && n > maximum ? n : 0;
}

} // namespace

FrameSpinBox::FrameSpinBox(QWidget* parent) : QSpinBox(parent) {}

QValidator::State FrameSpinBox::validate(QString& input, int& pos) const
{
    const QValidator::State state = QSpinBox::validate(input, pos);
    if (state == QValidator::Invalid && aboveMaximum(input, maximum()))
        return QValidator::Intermediate; // fixed up to the last frame on Enter
    return state;
}

void FrameSpinBox::fixup(QString& input) const
{
    if (aboveMaximum(input, maximum()))
        input = QString::number(maximum());
    else
        QSpinBox::fixup(input);
}

void FrameSpinBox::keyPressEvent(QKeyEvent* event)
{
    QSpinBox::keyPressEvent(event);
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        emit entered();
}
