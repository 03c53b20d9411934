#ifndef YREXTRACTTEACHINGPLAN_H
#define YREXTRACTTEACHINGPLAN_H

#include "yrdata_export.h"

#include <QMutex>
#include <QString>
#include <QThread>

// Unpacks a .yrtp package into a directory off the main thread. A package with any entry that
// would land outside the destination, or with a symbolic-link entry, is refused whole.
class YRDATA_EXPORT YRExtractTeachingPlan : public QThread
{
    Q_OBJECT

public:
    explicit YRExtractTeachingPlan(QObject *parent = nullptr);
    // Waits for a running unpack.
    ~YRExtractTeachingPlan() override;

    void setPaths(const QString &destination, const QString &package);

signals:
    void signalExtractFinished(bool bSuccess);

protected:
    void run() override;

private:
    QMutex m_mutex;
    QString m_destination;
    QString m_package;
};

#endif // YREXTRACTTEACHINGPLAN_H
