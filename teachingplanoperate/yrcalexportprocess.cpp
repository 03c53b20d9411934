#include "teachingplanoperate/yrcalexportprocess.h"
#include "teachingplanoperate/workerlocker_p.h"

#include <QVector>

#include <algorithm>

// The worker takes the whole queue in one short lock, reads the records off the lock (the JSON
// look-ups are most of the cost), and counts them under the lock in small chunks. Enqueuing
// thus never waits for more than one chunk, and a reset between taking and counting discards
// the reports taken, as if it had found them still queued.

namespace {

// Idle poll of an empty queue.
constexpr unsigned long kIdlePollMs = 20;

// Reports counted per lock: bounds how long an enqueue can wait for the worker.
constexpr int kReportsPerLock = 256;

} // namespace

// What one progress report contributes, read from its transfer record.
struct YRCalExportProcess::Report
{
    bool isFile = false;  // "nodeType" is "file": only those count and report
    bool hasSize = false; // the record carries "fileSize"
    int size = 0;
    QString dest;
    int percent = 0;

    static Report read(const QJsonObject &info)
    {
        Report report;
        report.isFile = info.value(QLatin1String("nodeType")).toString() == QLatin1String("file");
        if (!report.isFile)
            return report;
        const QJsonValue size = info.value(QLatin1String("fileSize"));
        report.hasSize = !size.isUndefined();
        if (report.hasSize) {
            // Text that is not a decimal number counts as 0 bytes, as in the plan's total.
            report.size = size.toString().toInt(nullptr, 10);
            report.dest = info.value(QLatin1String("dest")).toString();
        }
        return report;
    }
};

YRCalExportProcess::YRCalExportProcess(QObject *parent) : QThread(parent) {}

YRCalExportProcess::~YRCalExportProcess()
{
    stop();
}

void YRCalExportProcess::enqueue(const QJsonObject &info, int percent)
{
    WorkerLocker locker(m_mutex);
    m_queue.append(qMakePair(info, percent));
}

void YRCalExportProcess::setTotalSize(int totalSize)
{
    WorkerLocker locker(m_mutex);
    m_totalSize = totalSize;
}

void YRCalExportProcess::startCounting()
{
    // After reset() or stop() the loop may still be on its way out; start() would then do
    // nothing and the loop would end, so wait for it first.
    if (!m_running.load())
        wait();
    m_running.store(true);
    start(QThread::InheritPriority);
}

void YRCalExportProcess::reset()
{
    m_running.store(false);
    WorkerLocker locker(m_mutex);
    m_totalSize = 0;
    m_doneSize = 0.0;
    m_lastReported = 0;
    m_filePercent.clear();
    m_queue.clear();
    ++m_generation;
}

void YRCalExportProcess::stop()
{
    m_running.store(false);
    wait();
}

int YRCalExportProcess::countReport(const Report &report)
{
    if (!report.isFile)
        return -1;
    if (report.hasSize) {
        auto counted = m_filePercent.find(report.dest);
        if (counted == m_filePercent.end()) {
            m_doneSize += double(report.size) * report.percent / 100.0;
            m_filePercent.insert(report.dest, report.percent);
        } else if (counted.value() < report.percent) {
            m_doneSize += double(report.size) * (report.percent - counted.value()) / 100.0;
            counted.value() = report.percent;
        }
    }
    if (m_totalSize != 0 && m_totalSize > m_doneSize) {
        const int percent = int(m_doneSize / m_totalSize * 100.0);
        if (percent >= 1 && percent <= 99 && percent > m_lastReported) {
            m_lastReported = percent;
            return percent;
        }
    }
    return m_doneSize > m_totalSize ? 99 : -1;
}

// Reads the reports of a batch off the lock. A transfer reports its progress many times over
// with the same record; comparing costs less than reading it again, and nothing when the record
// is shared.
class YRCalExportProcess::ReportReader
{
public:
    void read(const QVector<QPair<QJsonObject, int>> &taken, QVector<Report> &reports)
    {
        reports.clear();
        reports.reserve(taken.size());
        for (const auto &entry : taken) {
            if (!m_haveLast || !(entry.first == m_lastInfo)) {
                m_last = Report::read(entry.first);
                m_lastInfo = entry.first;
                m_haveLast = true;
            }
            m_last.percent = entry.second;
            reports.append(m_last);
        }
    }

private:
    QJsonObject m_lastInfo;
    Report m_last;
    bool m_haveLast = false;
};

void YRCalExportProcess::run()
{
    ReportReader reader;
    QVector<QPair<QJsonObject, int>> taken;
    QVector<Report> reports;
    while (m_running.load()) {
        quint64 generation = 0;
        if (!takeQueue(taken, generation)) {
            msleep(kIdlePollMs);
            continue;
        }
        reader.read(taken, reports);
        taken.clear();
        countAndReport(reports, generation);
    }
}

bool YRCalExportProcess::takeQueue(QVector<QPair<QJsonObject, int>> &taken, quint64 &generation)
{
    WorkerLocker locker(m_mutex);
    taken.swap(m_queue);
    generation = m_generation;
    return !taken.isEmpty();
}

void YRCalExportProcess::countAndReport(const QVector<Report> &reports, quint64 generation)
{
    QVector<int> toEmit;
    for (int first = 0; first < reports.size(); first += kReportsPerLock) {
        const int end = std::min<int>(reports.size(), first + kReportsPerLock);
        toEmit.clear();
        {
            WorkerLocker locker(m_mutex);
            if (m_generation != generation)
                return;
            for (int i = first; i < end; ++i) {
                const int percent = countReport(reports.at(i));
                if (percent >= 0)
                    toEmit.append(percent);
            }
        }
        for (int percent : qAsConst(toEmit))
            emit exportProcess(percent);
    }
}
