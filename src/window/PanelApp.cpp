#include "window/PanelApp.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "program/Journal.h"
#include "scpi/ServerOptions.h"
#include "window/PanelSettings.h"
#include "window/RemoteDialog.h"

namespace rz417 {

namespace {

using Field = PanelSettings::Field;

// Remote clients wait while a box or dialog of the panel is open.
class RemoteHold
{
public:
    explicit RemoteHold(PanelApp &app) : m_app(app) { m_app.holdRemote(true); }
    ~RemoteHold() { m_app.holdRemote(false); }
    RemoteHold(const RemoteHold &) = delete;
    RemoteHold &operator=(const RemoteHold &) = delete;

private:
    PanelApp &m_app;
};

} // namespace

PanelApp::PanelApp(Platform &platform, CommControl &comm)
    : m_platform(platform), m_form(*this), m_panel(m_form, platform, comm), m_remote(m_panel)
{
}

PanelApp::~PanelApp() = default;

void PanelApp::chooseProgram()
{
    const RemoteHold hold(*this);
    PanelSettings settings = PanelSettings::read();
    const QString path =
        QFileDialog::getOpenFileName(&m_form, QStringLiteral("Run Program"), settings.programDir,
                                     QStringLiteral("Program files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    settings.programDir = QFileInfo(path).absolutePath();
    settings.write({Field::ProgramDir});
    m_form.openProgram(path);
}

void PanelApp::chooseJournal()
{
    const RemoteHold hold(*this);
    if (const Journal *journal = m_panel.journal()) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Journal"),
                        QStringLiteral("Every frame sent is journaled to %1.")
                            .arg(QString::fromStdString(journal->path())),
                        QMessageBox::NoButton, &m_form);
        QPushButton *off = box.addButton(QStringLiteral("Journal off"), QMessageBox::AcceptRole);
        QPushButton *other =
            box.addButton(QStringLiteral("Other file..."), QMessageBox::ActionRole);
        box.addButton(QMessageBox::Cancel);
        box.exec();
        if (box.clickedButton() == off) {
            m_panel.setJournal(nullptr);
            PanelSettings settings = PanelSettings::read();
            settings.journal.clear();
            settings.write({Field::Journal});
            return;
        }
        if (box.clickedButton() != other)
            return;
    }
    PanelSettings settings = PanelSettings::read();
    QFileDialog dialog(&m_form, QStringLiteral("Journal"), settings.journal,
                       QStringLiteral("Journals (*.csv);;All files (*)"));
    // A journal is appended to, never overwritten.
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    if (!useJournal(path))
        return;
    settings.journal = path;
    settings.write({Field::Journal});
}

bool PanelApp::useJournal(const QString &path)
{
    std::string error;
    auto journal = Journal::open(path.toStdString(), error);
    if (!journal) {
        const RemoteHold hold(*this);
        QMessageBox::warning(&m_form, QStringLiteral("Journal"),
                             QStringLiteral("The journal %1 cannot be opened: %2")
                                 .arg(path, QString::fromStdString(error)));
        return false;
    }
    m_panel.setJournal(std::move(journal));
    return true;
}

void PanelApp::restoreJournal()
{
    const QString path = PanelSettings::read().journal;
    if (!path.isEmpty())
        useJournal(path);
}

void PanelApp::chooseRemote()
{
    const RemoteHold hold(*this);
    const PanelSettings settings = PanelSettings::read();
    RemoteDialog dialog(m_remote.listening(), settings.remoteAddress, settings.remoteWatchdog,
                        &m_form);
    if (dialog.exec() == QDialog::Accepted)
        useRemote(dialog.acceptClients(), dialog.address(), dialog.watchdog());
}

bool PanelApp::useRemote(bool accept, const QString &address, const QString &watchdog)
{
    int seconds = 0;
    if (const std::string why =
            accept && !watchdog.isEmpty()
                ? scpi::parseWatchdog(watchdog.toStdString(), seconds, "the watchdog")
                : std::string();
        !why.empty()) {
        const RemoteHold hold(*this);
        QMessageBox::warning(
            &m_form, QStringLiteral("Remote Control"),
            QStringLiteral("Remote control is unchanged: %1.").arg(QString::fromStdString(why)));
        return false;
    }
    PanelSettings settings = PanelSettings::read();
    if (!accept) {
        m_remote.stop();
        settings.remoteAccept = false;
        settings.write({Field::RemoteAccept});
    } else {
        std::string why;
        if (!m_remote.start(address.toStdString(), seconds, why)) {
            remoteFailed(why);
            return false;
        }
        settings.remoteAccept = true;
        settings.remoteAddress = address;
        settings.remoteWatchdog = watchdog;
        settings.write({Field::RemoteAccept, Field::RemoteAddress, Field::RemoteWatchdog});
        // Said once, for a user who started the panel from a terminal.
        if (const std::string advertising = m_remote.advertising(); !advertising.empty())
            m_platform.diagnostic("remote control: " + advertising);
    }
    m_form.showRemoteControl();
    return true;
}

void PanelApp::remoteFailed(const std::string &why)
{
    // The box says remote control is off, so it is, whatever it was before. What was
    // remembered stays: an address in use today may be free at the next start.
    m_remote.stop();
    const RemoteHold hold(*this);
    QMessageBox::warning(
        &m_form, QStringLiteral("Remote Control"),
        QStringLiteral("Remote control is off: %1.").arg(QString::fromStdString(why)));
    m_form.showRemoteControl();
}

void PanelApp::restoreRemote()
{
    const PanelSettings settings = PanelSettings::read();
    if (settings.remoteAccept)
        useRemote(true, settings.remoteAddress, settings.remoteWatchdog);
}

} // namespace rz417
