#ifndef STUDIO_LOCALFILECOPIER_H
#define STUDIO_LOCALFILECOPIER_H

#include <QFile>
#include <QObject>
#include <QQueue>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class YRTeachingPlanOperate;

// Copies the files a teacher adds into a step or task directory of the open plan, one file at a
// time and a slice per turn of the event loop, so that the window stays responsive. Each copy
// is reported to the controller as it goes (addLocalFile: 0 at the start, the percentage on the
// way, 100 when the file is complete, -1 when it is abandoned), which turns it into a file node
// and shows its progress in the page.
class LocalFileCopier : public QObject
{
    Q_OBJECT

public:
    // controller is not owned and must outlive the copier.
    explicit LocalFileCopier(YRTeachingPlanOperate *controller, QObject *parent = nullptr);
    ~LocalFileCopier() override;

    // Queues files for the directory of stepId, or of taskId when it is not empty.
    void enqueue(const QStringList &files, const QString &stepId, const QString &taskId);
    // Abandons the copy under way and forgets the queue.
    void cancelAll();
    bool isBusy() const { return m_target != nullptr || !m_queue.isEmpty(); }

signals:
    // A file that was not added, and why, in words for the teacher.
    void fileRefused(const QString &file, const QString &reason);
    // The last queued file is done.
    void idle();

private:
    struct Job
    {
        QString source;
        QString stepId;
        QString taskId;
    };

    void startNext();
    // Opens both ends and registers the node; false (reported) when the file cannot be added.
    bool begin(const Job &job);
    void copySlice();
    void finish();
    // Ends the copy under way with -1; with a reason, tells the teacher and goes on with the
    // queue.
    void abandon(const QString &reason);

    YRTeachingPlanOperate *m_controller;
    QQueue<Job> m_queue;
    QTimer m_slices;
    QFile m_source;
    std::unique_ptr<QSaveFile> m_target; // set while a copy is under way
    QString m_targetPath;
    qint64 m_total = 0;
    qint64 m_done = 0;
    int m_reported = 0;
};

#endif // STUDIO_LOCALFILECOPIER_H
