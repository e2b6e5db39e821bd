#pragma once
// Runs one of the built programs to its end and keeps what it printed.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

struct ProgramRun {
    int exitCode = -1;       // -1: it crashed or did not end in time
    QList<QByteArray> lines; // stdout
    QByteArray errors;       // stderr
};

// Waits up to `timeoutMs` (a minute unless told) for it to end.
inline ProgramRun runToEnd(const QString& program, const QStringList& arguments, int timeoutMs = 60000)
{
    ProgramRun r;
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    const QByteArray out = p.readAllStandardOutput().trimmed();
    if (!out.isEmpty())
        r.lines = out.split('\n');
    r.errors = p.readAllStandardError();
    return r;
}
