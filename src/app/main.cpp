#include "link/CommErrorText.h"
#include "link/CrashGuard.h"
#include "link/HostControl.h"
#include "power/SleepInhibitors.h"
#include "protocol/Identity.h"
#include "serial/HostPorts.h"
#include "window/PanelApp.h"
#include "window/QtPlatform.h"
#include "window/TerminationSignals.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char *argv[])
{
    // A fault anywhere from here on switches off what may be on before the process dies.
    rz417::crashguard::install("rz417");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(rz417::identity::kProduct));
    QApplication::setApplicationVersion(QString::fromLatin1(rz417::identity::kVersion));
    QApplication::setOrganizationName(QString::fromLatin1(rz417::identity::kCompany));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("rz417")));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quenda.rz417"));

    const auto comm = rz417::makeHostControl(rz417::hostPortMap());
    rz417::QtPlatform platform([&comm] {
        // The program ends at once; standard error is all that is left to tell it on.
        if (!comm->release())
            std::fprintf(stderr, "rz417: the last frame sent may not have left the line (%s)\n",
                         rz417::commErrorText(rz417::CommCodes::NoHardware).c_str());
    });
    // A program or battery test holds the host's sleep off from its input on until it ends; this
    // outlives the panel, whose runs it follows.
    const auto inhibitor = rz417::hostSleepInhibitor("rz417");
    rz417::RunSleepHold sleep(*inhibitor, rz417::RunSleepHold::Until::RunEnds,
                              [&platform](const std::string &why) {
                                  platform.diagnostic("rz417: sleep is not held off: " + why);
                              });
    rz417::PanelApp panelApp(platform, *comm);
    rz417::UIForm &form = panelApp.form();
    // SIGINT, SIGTERM, SIGHUP, SIGQUIT (on Windows the session ending): a running program or
    // battery test stops, and whatever may be on goes off, before the process goes, with the
    // status of a process that signal ended (128 and its number).
    rz417::TerminationSignals termination([&platform, &panelApp](int signal) {
        panelApp.switchOffAtEnd();
        platform.endProgram(128 + signal);
    });

    panelApp.panel().setInputWatch([&sleep](bool mayBeOn) { sleep.inputChanged(mayBeOn); });
    QObject::connect(&form, &rz417::UIForm::runningChanged, &form, [&sleep](bool running) {
        if (running)
            sleep.runStarted();
        else
            sleep.runEnded();
    });

    platform.setParentWindow(&form);
    // SCPI clients wait while a box of the panel is open.
    platform.setBoxObserver([&panelApp](bool open) { panelApp.holdRemote(open); });
    if (!panelApp.load())
        return 0;
    form.show();
    panelApp.restoreJournal();
    // Clients are accepted only once the start-up port was: never before, never without one.
    panelApp.restoreRemote();
    return QApplication::exec();
}
