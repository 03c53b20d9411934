#ifndef YRCALEXPORTPROCESS_H
#define YRCALEXPORTPROCESS_H

#include "yrdata_export.h"

#include <QHash>
#include <QJsonObject>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QThread>
#include <QVector>

#include <atomic>

// Turns the download progress of an export into one percentage weighted by file size. The
// controller's thread only appends reports under a short lock; all counting happens on this
// worker's thread, which polls its queue every 20 ms while it runs.
class YRDATA_EXPORT YRCalExportProcess : public QThread
{
    Q_OBJECT

public:
    explicit YRCalExportProcess(QObject *parent = nullptr);
    // Stops the loop and waits for the thread.
    ~YRCalExportProcess() override;

    // Appends one progress report of a transfer record.
    void enqueue(const QJsonObject &info, int percent);
    // The plan's total download size in bytes.
    void setTotalSize(int totalSize);
    // Sets the running flag and starts the thread (after a previous run has ended).
    void startCounting();
    // Clears the running flag, the sizes, the per-file map and the queue.
    void reset();
    // Clears the running flag and waits for the thread to end.
    void stop();

signals:
    void exportProcess(int value);

protected:
    void run() override;

private:
    struct Report;
    class ReportReader;

    // Takes the whole queue into taken, with the generation it belongs to; false when empty.
    bool takeQueue(QVector<QPair<QJsonObject, int>> &taken, quint64 &generation);
    // Counts reports in chunks under the lock and emits what they report, unless a reset has
    // begun another generation meanwhile.
    void countAndReport(const QVector<Report> &reports, quint64 generation);
    // Counts one report read off the lock; returns the percentage to emit, or -1 for none.
    int countReport(const Report &report);

    QMutex m_mutex;
    int m_totalSize = 0;
    double m_doneSize = 0.0;
    QHash<QString, int> m_filePercent;
    QVector<QPair<QJsonObject, int>> m_queue;
    int m_lastReported = 0;
    // Bumped by reset(), so that reports taken off the queue before it are not counted after.
    quint64 m_generation = 0;
    std::atomic<bool> m_running{true};
};

#endif // YRCALEXPORTPROCESS_H
