#include "pageview.h"

#include "studiolog.h"

#include <QDropEvent>
#include <QMimeData>
#include <QWebChannel>

#include <utility>

EditorPage::EditorPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{}

QUrl EditorPage::pageUrl()
{
    return QUrl(QStringLiteral("qrc:/page/index.html"));
}

bool EditorPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    Q_UNUSED(type)
    const bool allowed = isMainFrame && url == pageUrl();
    if (!allowed)
        qCDebug(lcStudio) << "EditorPage::acceptNavigationRequest refused" << url.toString();
    return allowed;
}

void EditorPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                          const QString &message, int lineNumber,
                                          const QString &sourceID)
{
    if (level == ErrorMessageLevel)
        qCWarning(lcStudioPage).noquote() << sourceID << lineNumber << message;
    else
        qCDebug(lcStudioPage).noquote() << sourceID << lineNumber << message;
}

PageView::PageView(QWebEngineProfile *profile, QWebChannel *channel, QWidget *parent)
    : QWebEngineView(parent)
{
    auto *page = new EditorPage(profile, this);
    page->setWebChannel(channel);
    setPage(page);
    connect(page, &QWebEnginePage::loadStarted, this, [this] { m_ready = false; });
    load(EditorPage::pageUrl());
}

void PageView::runStatement(const QString &statement)
{
    if (m_ready)
        page()->runJavaScript(statement);
    else
        m_waiting.append(statement);
}

void PageView::markReady()
{
    m_ready = true;
    const QStringList waiting = std::exchange(m_waiting, QStringList());
    for (const QString &statement : waiting)
        page()->runJavaScript(statement);
}

void PageView::restart()
{
    m_waiting.clear();
    m_ready = false;
    load(EditorPage::pageUrl());
}

QStringList PageView::takeDroppedFiles()
{
    return std::exchange(m_dropped, QStringList());
}

void PageView::dropEvent(QDropEvent *event)
{
    // The page learns where the files went, never their paths: those stay here until the page
    // names the step or task that takes them.
    m_dropped.clear();
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            m_dropped.append(url.toLocalFile());
    }
    QWebEngineView::dropEvent(event);
}
