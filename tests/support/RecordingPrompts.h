#pragma once
// A UserPrompts double: records every box and answers questions from a queue (Yes when empty).

#include "tools/UserPrompts.h"

#include <QList>
#include <QQueue>

namespace hvk32::test {

struct Prompt {
    QString kind; // "information", "warning", "critical", "question", "open", "save"
    QString title; // a file dialog's caption
    QString text;  // a file dialog's filter
    QString proposed; // a save dialog's proposed name, an open dialog's directory
};

class RecordingPrompts : public platform::UserPrompts {
public:
    QList<Prompt> shown;
    QQueue<QMessageBox::StandardButton> answers;
    QQueue<QString> fileNames; // answers to file dialogs; empty: cancelled
    QList<QUrl> openedUrls;
    bool browserStarts = true; // false: openUrl fails, as without a browser

    void information(QWidget*, const QString& title, const QString& text) override
    {
        shown.append({"information", title, text, {}});
    }
    void warning(QWidget*, const QString& title, const QString& text) override
    {
        shown.append({"warning", title, text, {}});
    }
    void critical(QWidget*, const QString& title, const QString& text) override
    {
        shown.append({"critical", title, text, {}});
    }
    QMessageBox::StandardButton question(QWidget*, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    {
        shown.append({"question", title, text, {}});
        return answers.isEmpty() ? QMessageBox::Yes : answers.dequeue();
    }
    QString openFileName(QWidget*, const QString& caption, const QString& directory, const QString& filter) override
    {
        shown.append({"open", caption, filter, directory});
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }
    QString saveFileName(QWidget*, const QString& caption, const QString& proposedName, const QString& filter) override
    {
        shown.append({"save", caption, filter, proposedName});
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }
    bool openUrl(const QUrl& url) override
    {
        openedUrls.append(url);
        return browserStarts;
    }
};

} // namespace hvk32::test
