#ifndef COMMANDRUN_H
#define COMMANDRUN_H

#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTimer>

// A command-line program run as a separate process, as a user or a script runs it.
struct CommandResult
{
    int exitCode = -1; // -1: it crashed or did not end within two minutes
    QString out;
    QString err;

    bool failedWithOneLine(int code) const { return exitCode == code && err.count('\n') == 1; }
    QStringList outLines() const { return out.split('\n', Qt::SkipEmptyParts); }
};

// Runs program with arguments in workingDirectory and environment, and waits for it with the
// event loop running, so that servers of the test's own (a fault proxy) go on answering.
inline CommandResult runCommand(const QString &program, const QStringList &arguments,
                                const QProcessEnvironment &environment,
                                const QString &workingDirectory)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    QEventLoop loop;
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            loop.quit();
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    loop.exec();
    CommandResult result;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

#endif // COMMANDRUN_H
