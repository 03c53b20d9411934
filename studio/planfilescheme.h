#ifndef STUDIO_PLANFILESCHEME_H
#define STUDIO_PLANFILESCHEME_H

#include <QWebEngineUrlSchemeHandler>

class IYRPlanData;

// Serves the files of the open plan to the editor page as "yrplan-file:/<path in the plan>",
// the path as the plan document stores it. Only regular files inside the plan directory are
// served, read-only; every other address is refused.
class PlanFileSchemeHandler : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT

public:
    // The scheme's name, "yrplan-file".
    static QByteArray scheme();
    // Makes the scheme known to the browser engine; must run before the QApplication exists.
    static void registerScheme();

    // plan is not owned and must outlive the handler.
    explicit PlanFileSchemeHandler(const IYRPlanData *plan, QObject *parent = nullptr);

    void requestStarted(QWebEngineUrlRequestJob *job) override;

private:
    // The absolute file that url names inside the open plan; empty when there is none.
    QString planFileOf(const QUrl &url) const;

    const IYRPlanData *m_plan;
};

#endif // STUDIO_PLANFILESCHEME_H
