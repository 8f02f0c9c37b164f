#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace rz417 {

// File, Remote Control...: whether the panel accepts SCPI clients, and where it listens.
class RemoteDialog : public QDialog
{
    Q_OBJECT

public:
    RemoteDialog(bool accept, const QString &address, const QString &watchdog,
                 QWidget *parent = nullptr);

    bool acceptClients() const;
    QString address() const;
    // The watchdog's delay in seconds as typed; empty for none.
    QString watchdog() const;

private:
    QCheckBox *m_accept = nullptr;
    QLineEdit *m_address = nullptr;
    QLineEdit *m_watchdog = nullptr;
};

} // namespace rz417
