#pragma once
// Every message box and file dialog of the program goes through this interface, so a test
// can read what a box said and answer a question or choose a file without a modal loop.
// The program uses MessageBoxPrompts.

#include <QMessageBox>
#include <QString>
#include <QUrl>

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
    // Qt's own (non-native) file dialogs; an empty name means the user cancelled.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& directory,
                                 const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& proposedName,
                                 const QString& filter) = 0;
    // Opens a document (the guides) in the desktop's viewer; false when none could.
    virtual bool openUrl(const QUrl& url) = 0;
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
    QString openFileName(QWidget* parent, const QString& caption, const QString& directory,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& proposedName,
                         const QString& filter) override;
    bool openUrl(const QUrl& url) override;
};

} // namespace hvk32::platform
