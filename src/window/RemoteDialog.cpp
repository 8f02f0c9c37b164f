#include "window/RemoteDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace rz417 {

RemoteDialog::RemoteDialog(bool accept, const QString &address, const QString &watchdog,
                           QWidget *parent)
    : QDialog(parent)
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
    m_watchdog = new QLineEdit(watchdog, this);
    m_watchdog->setObjectName(QStringLiteral("Watchdog"));
    m_watchdog->setPlaceholderText(QStringLiteral("off"));
    m_watchdog->setToolTip(QStringLiteral(
        "Seconds from 1 to 3600: when no SCPI message comes for that long, the input goes off "
        "(66FFFF); empty for no watchdog"));
    auto *watchdogLabel = new QLabel(QStringLiteral("Watchdog (s)"), this);
    watchdogLabel->setBuddy(m_watchdog);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(label, m_address);
    form->addRow(watchdogLabel, m_watchdog);
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

QString RemoteDialog::watchdog() const
{
    return m_watchdog->text().trimmed();
}

} // namespace rz417
