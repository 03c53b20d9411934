#ifndef OPERATELOG_P_H
#define OPERATELOG_P_H

// Shared by the controller's sources: its logging category and the few texts and tests on
// plan identifiers and document paths that several flows make.

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcOperate)

namespace YROperate {

// The document version that plans are converted to and stored in.
inline QString currentDocumentVersion()
{
    return QStringLiteral("5.0");
}

// A plan that exists only on this machine, not in the cloud plan service.
inline bool isLocalPlanId(const QString &planId)
{
    return planId.contains(QLatin1String("local"));
}

// A cloud plan without a document (an old generation): only the plan service can convert it.
inline bool hasNoDocumentPath(const QString &jsonPath)
{
    return jsonPath.isEmpty() || jsonPath == QLatin1String("0");
}

} // namespace YROperate

#endif // OPERATELOG_P_H
