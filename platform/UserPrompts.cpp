#include "platform/UserPrompts.h"

namespace hvk32::platform {

void MessageBoxPrompts::information(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void MessageBoxPrompts::warning(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

void MessageBoxPrompts::critical(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::critical(parent, title, text, QMessageBox::Ok);
}

QMessageBox::StandardButton MessageBoxPrompts::question(QWidget* parent, const QString& title, const QString& text,
                                                        QMessageBox::StandardButtons buttons,
                                                        QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

} // namespace hvk32::platform
