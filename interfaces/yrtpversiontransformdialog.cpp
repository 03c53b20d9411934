#include "interfaces/yrtpversiontransformdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

YRTPVersionTransformDialog::YRTPVersionTransformDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("教案版本转换"));
    setModal(true);

    m_message = new QLabel(tr("该教案为旧版本格式，是否转换为新版本？"), this);
    m_message->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(this);
    m_convertButton = buttons->addButton(tr("转换"), QDialogButtonBox::AcceptRole);
    m_cancelButton = buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    m_convertButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
}
