#pragma once
// Every message box of the program goes through this interface, so a test can read what a
// box said and answer a question without a modal loop. The program uses MessageBoxPrompts.

#include <QMessageBox>
#include <QString>

class QWidget;

namespace hvk32::platform {

class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    virtual void information(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void warning(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void critical(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton) = 0;
};

// Real, modal QMessageBoxes with an OK button (questions with the buttons asked for).
class MessageBoxPrompts : public UserPrompts {
public:
    void information(QWidget* parent, const QString& title, const QString& text) override;
    void warning(QWidget* parent, const QString& title, const QString& text) override;
    void critical(QWidget* parent, const QString& title, const QString& text) override;
    QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton) override;
};

} // namespace hvk32::platform
