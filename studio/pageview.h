#ifndef STUDIO_PAGEVIEW_H
#define STUDIO_PAGEVIEW_H

#include <QStringList>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

class QWebChannel;

// The editor page as the studio loads it: from the application's resources, kept on that one
// address (links and dropped files never navigate away), its console going to the studio's log.
class EditorPage : public QWebEnginePage
{
    Q_OBJECT

public:
    EditorPage(QWebEngineProfile *profile, QObject *parent);
    // qrc:/page/index.html
    static QUrl pageUrl();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceID) override;
};

// The view that shows the editor page and runs the controller's statements in it, in the order
// they come. Statements that come before the page has connected to the host wait for it. A new
// document that differs from the one the page holds in a few values reaches the page as those
// values alone, which leaves the page as the whole document would.
class PageView : public QWebEngineView
{
    Q_OBJECT

public:
    // Neither profile nor channel is owned; the profile must outlive the view. The page reaches
    // the host through channel.
    PageView(QWebEngineProfile *profile, QWebChannel *channel, QWidget *parent = nullptr);

    // Runs statement in the page after every statement given before it.
    void runStatement(const QString &statement);
    // Sends the page the whole of the last document it was sent, for a page that could not
    // take a part of it.
    void resendDocument();
    // The page has connected to the host: runs the statements that waited.
    void markReady();
    bool isReady() const { return m_ready; }
    // Loads the page again (after its renderer died); statements waiting are dropped, since
    // the page starts from nothing.
    void restart();
    // The local files of the last drop onto the page; empty once taken.
    QStringList takeDroppedFiles();

protected:
    void dropEvent(QDropEvent *event) override;

private:
    void deliver(const QString &statement);
    QString narrowed(const QString &statement);

    QStringList m_waiting;
    // The last returnJsonToWeb statement delivered; null when the page's document is unknown.
    QString m_shownStatement;
    QStringList m_dropped;
    bool m_ready = false;
};

#endif // STUDIO_PAGEVIEW_H
