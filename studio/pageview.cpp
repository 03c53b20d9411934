#include "pageview.h"

#include "documentchange.h"
#include "studiolog.h"

#include <QDropEvent>
#include <QMimeData>
#include <QWebChannel>

#include <utility>

namespace {

const QLatin1String kShowDocument("returnJsonToWeb(");

// The document text of a returnJsonToWeb statement.
QStringView documentOf(const QString &statement)
{
    return QStringView(statement).mid(kShowDocument.size(),
                                      statement.size() - kShowDocument.size() - 1);
}

} // namespace

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
    connect(page, &QWebEnginePage::loadStarted, this, [this] {
        m_ready = false;
        m_shownStatement.clear();
    });
    load(EditorPage::pageUrl());
}

void PageView::runStatement(const QString &statement)
{
    if (m_ready)
        deliver(statement);
    else
        m_waiting.append(statement);
}

void PageView::markReady()
{
    m_ready = true;
    const QStringList waiting = std::exchange(m_waiting, QStringList());
    for (const QString &statement : waiting)
        deliver(statement);
}

void PageView::resendDocument()
{
    if (m_ready && !m_shownStatement.isNull())
        page()->runJavaScript(m_shownStatement);
}

void PageView::deliver(const QString &statement)
{
    page()->runJavaScript(narrowed(statement));
}

QString PageView::narrowed(const QString &statement)
{
    if (!statement.startsWith(kShowDocument) || !statement.endsWith(QLatin1Char(')'))) {
        // Only a progress list leaves the page's document as it was.
        if (!statement.startsWith(QLatin1String("multiFileProcess(")))
            m_shownStatement.clear();
        return statement;
    }
    const QString previous = std::exchange(m_shownStatement, statement);
    if (previous.isNull())
        return statement;
    const QStringView document = documentOf(statement);
    // Changes larger than a quarter of the document are cheaper to send whole than to find.
    const QVector<DocumentChange> changes =
        findDocumentChanges(documentOf(previous), document, int(document.size() / 4));
    if (changes.isEmpty())
        return statement;
    QString narrowed = QStringLiteral("replaceInPlan([");
    for (const DocumentChange &change : changes) {
        narrowed += QLatin1Char('[') + change.path + QStringLiteral(", ");
        narrowed += document.mid(change.start, change.length);
        narrowed += QStringLiteral("],");
    }
    narrowed.chop(1);
    return narrowed + QStringLiteral("])");
}

void PageView::restart()
{
    m_waiting.clear();
    m_ready = false;
    m_shownStatement.clear();
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
