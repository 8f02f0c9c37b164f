#include "window/RemoteDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace rz417 {

RemoteDialog::RemoteDialog(bool accept, const QString &address, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("RemoteDialog"));
    setWindowTitle(QStringLiteral("Remote Control"));
    m_accept = new QCheckBox(QStringLiteral("Accept SCPI clients"), this);
    m_accept->setObjectName(QStringLiteral("AcceptClients"));
    m_accept->setChecked(accept);
    m_address = new QLineEdit(address, this);
    m_address->setObjectName(QStringLiteral("Address"));
    m_address->setToolTip(QStringLiteral(
        "[ADDRESS:]TCPPORT: 5025 or 127.0.0.1:5025 for this machine only; another address "
        "opens the load to whoever reaches it"));
    auto *label = new QLabel(QStringLiteral("Address"), this);
    label->setBuddy(m_address);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(label, m_address);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_accept);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

bool RemoteDialog::acceptClients() const
{
    return m_accept->isChecked();
}

QString RemoteDialog::address() const
{
    return m_address->text().trimmed();
}

} // namespace rz417
