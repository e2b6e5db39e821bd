#include "tools/UserPrompts.h"

#include <QDesktopServices>
#include <QFileDialog>

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

QString MessageBoxPrompts::openFileName(QWidget* parent, const QString& caption, const QString& directory,
                                        const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, directory, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString MessageBoxPrompts::saveFileName(QWidget* parent, const QString& caption, const QString& proposedName,
                                        const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, proposedName, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

bool MessageBoxPrompts::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace hvk32::platform
