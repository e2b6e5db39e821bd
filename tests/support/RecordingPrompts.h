#pragma once
// A UserPrompts double: records every box and answers questions from a queue (Yes when empty).

#include "platform/UserPrompts.h"

#include <QList>
#include <QQueue>

namespace hvk32::test {

struct Prompt {
    QString kind; // "information", "warning", "critical", "question"
    QString title;
    QString text;
};

class RecordingPrompts : public platform::UserPrompts {
public:
    QList<Prompt> shown;
    QQueue<QMessageBox::StandardButton> answers;

    void information(QWidget*, const QString& title, const QString& text) override
    {
        shown.append({"information", title, text});
    }
    void warning(QWidget*, const QString& title, const QString& text) override
    {
        shown.append({"warning", title, text});
    }
    void critical(QWidget*, const QString& title, const QString& text) override
    {
        shown.append({"critical", title, text});
    }
    QMessageBox::StandardButton question(QWidget*, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    {
        shown.append({"question", title, text});
        return answers.isEmpty() ? QMessageBox::Yes : answers.dequeue();
    }
};

} // namespace hvk32::test
