#ifndef STUDIO_DOCUMENTCHANGE_H
#define STUDIO_DOCUMENTCHANGE_H

#include <QString>
#include <QStringView>
#include <QVector>

// A JSON value in which a document text differs from the text before it: what the page must
// replace in its model to hold the new document, without receiving all of it.
struct DocumentChange
{
    // The value's place from the root, as a JavaScript array literal of member names and
    // array indices, e.g. ["steps",3,"attr","stepName"].
    QString path;
    // Where the value's text lies in the new document.
    int start = 0;
    int length = 0;
};

// The values, each at the same place in both texts and none of them the root, whose
// replacement turns before into after: for each difference the deepest value that holds it, in
// the order of the text. Empty when there are none within maxLength characters of after in
// all (identical texts, a change across members of the root, names that need unescaping).
// Both texts are JSON whose objects name each member once, as the plan data writes it.
QVector<DocumentChange> findDocumentChanges(QStringView before, QStringView after, int maxLength);

#endif // STUDIO_DOCUMENTCHANGE_H
