#ifndef STUDIO_CLOUDPLANS_H
#define STUDIO_CLOUDPLANS_H

#include "netmanager/yrcloudplan.h"

#include <QDialog>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVector>

class IYRNetWorkManager;
class QLabel;
class QTreeWidget;

// One plan of the signed-in teacher as the plan service lists it.
using CloudPlan = YRCloudPlan;

// Asks the plan service for the signed-in teacher's plans (GET api/teaplan/list) through the
// network manager's request object, as the library sends its own requests.
class CloudPlanList : public QObject
{
    Q_OBJECT

public:
    // manager is not owned and must outlive the list.
    explicit CloudPlanList(IYRNetWorkManager *manager, QObject *parent = nullptr);

    // Sends the request; false when the manager refused it at once (then failed follows too).
    bool request();

signals:
    void listed(const QVector<CloudPlan> &plans);
    void failed(const QString &why);

private slots:
    void takeReply(const QString &mark, const QJsonObject &reply, const QString &url);
    void takeError(const QString &mark, int code, const QString &url);

private:
    IYRNetWorkManager *m_manager;
    bool m_waiting = false;
};

// Lets the teacher pick one of their cloud plans; the list is asked for when the dialog opens.
class CloudPlanDialog : public QDialog
{
    Q_OBJECT

public:
    CloudPlanDialog(IYRNetWorkManager *manager, const QString &title, QWidget *parent = nullptr);

    // The plan chosen; id -1 while none is.
    CloudPlan chosen() const;
    // Selects the first plan whose title is title; false when there is none (yet).
    bool selectTitle(const QString &title);
    bool isListed() const { return m_listed; }

private:
    void showPlans(const QVector<CloudPlan> &plans);

    CloudPlanList *m_list;
    QTreeWidget *m_plans;
    QLabel *m_status;
    QVector<CloudPlan> m_entries;
    bool m_listed = false;
};

#endif // STUDIO_CLOUDPLANS_H
