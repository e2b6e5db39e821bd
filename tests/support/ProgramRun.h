#pragma once
// Runs one of the built programs to its end and keeps what it printed.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

struct ProgramRun {
    int exitCode = -1;       // -1: it crashed or did not end within a minute
    QList<QByteArray> lines; // stdout
    QByteArray errors;       // stderr
};

inline ProgramRun runToEnd(const QString& program, const QStringList& arguments)
{
    ProgramRun r;
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000)) {
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
