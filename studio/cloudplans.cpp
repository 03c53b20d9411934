#include "cloudplans.h"

#include "interfaces/iyrnetworkmanager.h"
#include "studiolog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

CloudPlanList::CloudPlanList(IYRNetWorkManager *manager, QObject *parent)
    : QObject(parent), m_manager(manager)
{
    QObject *http = m_manager->getHttpObject();
    connect(http, SIGNAL(sglHttpRequestFinish(QString, QJsonObject, QString)), this,
            SLOT(takeReply(QString, QJsonObject, QString)));
    connect(http, SIGNAL(sglHttpRequestError(QString, int, QString)), this,
            SLOT(takeError(QString, int, QString)));
}

bool CloudPlanList::request()
{
    auto *http = qobject_cast<IYRHttpRequest *>(m_manager->getHttpObject());
    m_waiting = http != nullptr;
    if (!http || !http->sendQueryRequest({}, YRCloudPlan::listApi(), QString(), 0)) {
        qCWarning(lcStudio) << "CloudPlanList::request: the network manager refused"
                            << YRCloudPlan::listApi();
        if (!http)
            emit failed(tr("there is no connection to the plan service"));
        return false;
    }
    return true;
}

void CloudPlanList::takeReply(const QString &mark, const QJsonObject &reply, const QString &url)
{
    Q_UNUSED(url)
    if (mark != YRCloudPlan::listApi() || !std::exchange(m_waiting, false))
        return;
    if (!reply.value(QLatin1String("success")).toBool()) {
        emit failed(reply.value(QLatin1String("message")).toString());
        return;
    }
    emit listed(YRCloudPlan::listedIn(reply));
}

void CloudPlanList::takeError(const QString &mark, int code, const QString &url)
{
    if (mark != YRCloudPlan::listApi() || !std::exchange(m_waiting, false))
        return;
    qCWarning(lcStudio) << "CloudPlanList: the plan list failed" << code << url;
    emit failed(tr("the plan service answered with error %1").arg(code));
}

CloudPlanDialog::CloudPlanDialog(IYRNetWorkManager *manager, const QString &title, QWidget *parent)
    : QDialog(parent), m_list(new CloudPlanList(manager, this)), m_plans(new QTreeWidget(this)),
      m_status(new QLabel(tr("Asking the plan service for your plans…"), this))
{
    setWindowTitle(title);
    m_plans->setHeaderLabels({tr("Plan"), tr("Steps"), tr("Changed")});
    m_plans->setRootIsDecorated(false);
    m_plans->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    QPushButton *open = buttons->button(QDialogButtonBox::Open);
    open->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_plans, &QTreeWidget::itemSelectionChanged, this,
            [this, open] { open->setEnabled(chosen().id >= 0); });
    connect(m_plans, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_plans);
    layout->addWidget(buttons);
    resize(560, 380);
    connect(m_list, &CloudPlanList::listed, this, &CloudPlanDialog::showPlans);
    connect(m_list, &CloudPlanList::failed, this, [this](const QString &why) {
        m_status->setText(tr("The plans could not be listed: %1").arg(why));
    });
    m_list->request();
}

void CloudPlanDialog::showPlans(const QVector<CloudPlan> &plans)
{
    m_entries = plans;
    m_listed = true;
    m_status->setText(plans.isEmpty() ? tr("You have no plans in the cloud yet.")
                                      : tr("Your plans, newest first:"));
    for (const CloudPlan &plan : plans) {
        auto *item = new QTreeWidgetItem(m_plans);
        item->setText(0, plan.title);
        item->setText(1, QString::number(plan.stepCount));
        item->setText(
            2, QLocale().toString(QDateTime::fromSecsSinceEpoch(plan.date), QLocale::ShortFormat));
    }
}

CloudPlan CloudPlanDialog::chosen() const
{
    const int row = m_plans->indexOfTopLevelItem(m_plans->currentItem());
    return row >= 0 && row < m_entries.size() && m_plans->currentItem()->isSelected()
               ? m_entries.at(row)
               : CloudPlan();
}

bool CloudPlanDialog::selectTitle(const QString &title)
{
    for (int row = 0; row < m_entries.size(); ++row) {
        if (m_entries.at(row).title == title) {
            m_plans->setCurrentItem(m_plans->topLevelItem(row));
            return true;
        }
    }
    return false;
}
