#include "localfilecopier.h"

#include "studiolog.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Large enough that a copy is not slowed by the event loop, small enough that the window
// answers between two slices.
const qint64 kSliceBytes = 1024 * 1024;

} // namespace

LocalFileCopier::LocalFileCopier(YRTeachingPlanOperate *controller, QObject *parent)
    : QObject(parent), m_controller(controller)
{
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &LocalFileCopier::copySlice);
}

LocalFileCopier::~LocalFileCopier()
{
    if (m_target)
        m_target->cancelWriting();
}

void LocalFileCopier::enqueue(const QStringList &files, const QString &stepId,
                              const QString &taskId)
{
    for (const QString &file : files)
        m_queue.enqueue({file, stepId, taskId});
    if (!m_target)
        startNext();
}

void LocalFileCopier::cancelAll()
{
    m_queue.clear();
    if (m_target)
        abandon(QString());
}

void LocalFileCopier::startNext()
{
    while (!m_queue.isEmpty()) {
        if (begin(m_queue.dequeue())) {
            m_slices.start();
            return;
        }
    }
    emit idle();
}

bool LocalFileCopier::begin(const Job &job)
{
    const QFileInfo source(job.source);
    if (!source.isFile()) {
        emit fileRefused(job.source, tr("only files can be added"));
        return false;
    }
    m_controller->setCurrentStepOrTask(job.stepId, job.taskId);
    const QString directory = m_controller->getCurrentTeachingPlanStepDir();
    const QString target = directory + QLatin1Char('/') + source.fileName();
    // A file already there belongs to a node of this step or task: it is never replaced.
    if (QFileInfo::exists(target)) {
        emit fileRefused(job.source, tr("this step or task already holds a file of that name"));
        return false;
    }
    m_source.setFileName(source.absoluteFilePath());
    auto output = std::make_unique<QSaveFile>(target);
    if (!QDir().mkpath(directory) || !m_source.open(QIODevice::ReadOnly) ||
        !output->open(QIODevice::WriteOnly)) {
        m_source.close();
        emit fileRefused(job.source, tr("the file cannot be read, or the plan folder written"));
        return false;
    }
    // The controller refuses a file of a name the step or task already holds, and says so.
    if (!m_controller->addLocalFile(target, 0)) {
        output->cancelWriting();
        m_source.close();
        return false;
    }
    m_target = std::move(output);
    m_targetPath = target;
    m_total = m_source.size();
    m_done = 0;
    m_reported = 0;
    return true;
}

void LocalFileCopier::copySlice()
{
    const QByteArray slice = m_source.read(kSliceBytes);
    if (slice.isEmpty() && !m_source.atEnd()) {
        abandon(tr("the file could not be read to its end"));
        return;
    }
    if (m_target->write(slice) != slice.size()) {
        abandon(tr("the plan folder could not be written"));
        return;
    }
    m_done += slice.size();
    if (m_source.atEnd()) {
        finish();
        return;
    }
    // 100 means complete, so a copy under way reports at most 99.
    const int percent = int(qMin<qint64>(99, m_done * 100 / qMax<qint64>(1, m_total)));
    if (percent > m_reported) {
        m_reported = percent;
        m_controller->addLocalFile(m_targetPath, percent);
    }
}

void LocalFileCopier::finish()
{
    m_slices.stop();
    const bool written = m_target->commit();
    m_target.reset();
    m_source.close();
    if (!written) {
        qCWarning(lcStudio) << "LocalFileCopier::finish cannot write" << m_targetPath;
        m_controller->addLocalFile(m_targetPath, -1);
        emit fileRefused(m_source.fileName(), tr("the plan folder could not be written"));
    } else {
        m_controller->addLocalFile(m_targetPath, 100);
    }
    startNext();
}

void LocalFileCopier::abandon(const QString &reason)
{
    m_slices.stop();
    m_target->cancelWriting();
    m_target.reset();
    m_source.close();
    m_controller->addLocalFile(m_targetPath, -1);
    if (!reason.isEmpty()) {
        emit fileRefused(m_source.fileName(), reason);
        startNext();
    }
}
