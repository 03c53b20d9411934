#include "cloudserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

const int kStartTimeoutMs = 30000;
const int kCommandTimeoutMs = 60000;

// The last line that yrcloud wrote to its log, which says why it stopped.
QString lastLogLine(const QString &logFile)
{
    QFile log(logFile);
    if (!log.open(QIODevice::ReadOnly))
        return QString();
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    return QString::fromUtf8(lines.constLast().trimmed());
}

} // namespace

QString CloudServer::besideThisProgram()
{
    const QDir here(QCoreApplication::applicationDirPath());
    return QStandardPaths::findExecutable(
        QStringLiteral("yrcloud"),
        {here.path(), QDir::cleanPath(here.filePath(QStringLiteral("../cloud")))});
}

CloudServer::CloudServer(const QString &executable, const QString &dataDirectory,
                         const QString &logFile)
    : m_executable(executable), m_dataDirectory(dataDirectory), m_logFile(logFile)
{}

CloudServer::~CloudServer()
{
    stop();
}

bool CloudServer::start(QString *error)
{
    // A file, not a pipe: nobody reads the log while the server runs.
    m_process.setStandardErrorFile(m_logFile);
    m_process.start(m_executable,
                    {QStringLiteral("serve"), QStringLiteral("--data"), m_dataDirectory,
                     QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(m_executable, m_process.errorString());
        return false;
    }
    // Its first line is the address it listens on.
    QByteArray firstLine;
    while (!firstLine.contains('\n') && m_process.waitForReadyRead(kStartTimeoutMs))
        firstLine += m_process.readAllStandardOutput();
    const QString address = QString::fromUtf8(firstLine.left(firstLine.indexOf('\n')).trimmed());
    if (address.isEmpty()) {
        stop();
        *error = QStringLiteral("yrcloud did not start: %1").arg(lastLogLine(m_logFile));
        return false;
    }
    m_url = QUrl(QStringLiteral("http://") + address);
    return true;
}

bool CloudServer::run(const QStringList &arguments, QByteArray *output, QString *error) const
{
    QProcess process;
    process.start(m_executable, arguments + QStringList{QStringLiteral("--data"), m_dataDirectory});
    const bool ended = process.waitForFinished(kCommandTimeoutMs);
    if (ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        *output = process.readAllStandardOutput();
        return true;
    }
    if (!ended)
        process.kill();
    process.waitForFinished();
    const QString why =
        QString::fromUtf8(process.readAllStandardError().trimmed()).section('\n', 0, 0);
    *error = QStringLiteral("yrcloud %1 failed: %2")
                 .arg(arguments.mid(0, 2).join(QLatin1Char(' ')),
                      why.isEmpty() ? process.errorString() : why);
    return false;
}

bool CloudServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.terminate();
    if (!m_process.waitForFinished(kStartTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished();
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}
