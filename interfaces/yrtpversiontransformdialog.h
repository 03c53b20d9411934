#ifndef YRTPVERSIONTRANSFORMDIALOG_H
#define YRTPVERSIONTRANSFORMDIALOG_H

#include "yrdata_export.h"

#include <QDialog>

class QLabel;
class QPushButton;

// Asks whether an older plan is to be converted to the current document format. Accepted
// means convert; any other outcome means leave the plan as it is.
class YRDATA_EXPORT YRTPVersionTransformDialog : public QDialog
{
    Q_OBJECT

public:
    explicit YRTPVersionTransformDialog(QWidget *parent = nullptr);

    QPushButton *convertButton() const { return m_convertButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }

private:
    QLabel *m_message = nullptr;
    QPushButton *m_convertButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};

#endif // YRTPVERSIONTRANSFORMDIALOG_H
