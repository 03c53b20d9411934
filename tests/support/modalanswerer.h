#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

#include <functional>

class QWidget;

// Answers the modal dialogs that come up while it lives, as a user would: each dialog that
// becomes the active modal widget gets the next queued answer. Records the class of every
// dialog it saw, so a test can tell that a question was (or was not) asked.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(QWidget *dialog)>;

    ModalAnswerer();

    void enqueue(const Answer &answer) { m_answers.enqueue(answer); }
    // A file dialog: selects path and accepts, or rejects when path is empty.
    void chooseFile(const QString &path);
    // The conversion dialog: its convert or its cancel button.
    void answerConversion(bool convert);

    // The class names of the dialogs answered so far, in order.
    const QStringList &seen() const { return m_seen; }
    bool hasPendingAnswers() const { return !m_answers.isEmpty(); }

private:
    void poll();

    void answer(QWidget *dialog, const Answer &answer);

    QTimer m_timer;
    QQueue<Answer> m_answers;
    QPointer<QWidget> m_lastAnswered;
    Answer m_lastAnswer;
    int m_loopLevelOfLastAnswer = 0;
    QStringList m_seen;
};

#endif // MODALANSWERER_H
