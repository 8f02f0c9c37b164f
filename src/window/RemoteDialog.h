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
    RemoteDialog(bool accept, const QString &address, QWidget *parent = nullptr);

    bool acceptClients() const;
    QString address() const;

private:
    QCheckBox *m_accept = nullptr;
    QLineEdit *m_address = nullptr;
};

} // namespace rz417
