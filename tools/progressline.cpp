#include "progressline.h"

#include "interfaces/planpackage.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

constexpr qint64 kRedrawIntervalMs = 200;

// The library reports from the thread that packs or unpacks, which may not be the main one.
QMutex lineMutex;
QString lineLabel;
QElapsedTimer sinceStart;
QElapsedTimer sinceDrawn;
bool drawn = false;

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat);
}

void draw(qint64 done, qint64 total)
{
    QMutexLocker locker(&lineMutex);
    if (drawn && sinceDrawn.elapsed() < kRedrawIntervalMs && done < total)
        return;
    const qint64 elapsedMs = qMax<qint64>(1, sinceStart.elapsed());
    const QString text =
        QStringLiteral("%1  %2 of %3  %4/s")
            .arg(lineLabel, sizeText(done), sizeText(total), sizeText(done * 1000 / elapsedMs));
    std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
    std::fflush(stderr);
    sinceDrawn.start();
    drawn = true;
}

} // namespace

ProgressLine::ProgressLine(const QString &label)
{
    if (!isatty(fileno(stderr)))
        return;
    QMutexLocker locker(&lineMutex);
    lineLabel = label;
    drawn = false;
    sinceStart.start();
    YRPlanPackage::setProgressObserver(draw);
}

ProgressLine::~ProgressLine()
{
    YRPlanPackage::setProgressObserver(nullptr);
    QMutexLocker locker(&lineMutex);
    if (drawn) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    drawn = false;
}
