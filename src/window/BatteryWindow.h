#pragma once

#include "battery/BatterySetup.h"
#include "measure/RunLog.h"

#include <QTimer>
#include <QWidget>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace rz417 {

class BatteryPlot;
class FrontPanel;
namespace meter {
class MeterThread;
}

// A battery discharge test beside the panel: its mode and value, stops, meter and log, Start and
// Stop, the curve, the figures and the summary. The test itself is the panel's, as a program's
// run is; this window wakes it when a reading is due and asks the meter from a thread of its
// own, so that nothing ever waits inside a handler.
class BatteryWindow : public QWidget
{
    Q_OBJECT

public:
    explicit BatteryWindow(FrontPanel &panel, QWidget *parent = nullptr);
    ~BatteryWindow() override;

    void start();
    void stop();
    // The panel's run started or ended, whoever started or ended it.
    void runningChanged(bool running);
    // Start waits while the panel is in remote.
    void remoteChanged();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // A field per parameter of the test, as its table describes it, laid out two to a row.
    void addFields();
    QLineEdit *line(const char *key) const;
    QWidget *fieldOf(const char *key) const;
    void layOut();
    measure::Texts fieldTexts() const;
    void remember() const;
    bool openLog();
    void meterOpened(int serial, const std::optional<std::string> &identity,
                     const std::string &why);
    void begin();
    // Without a meter the window's timer wakes each reading; with one, the meter's thread.
    void schedule();
    void onDue();
    void askMeter();
    void meterAnswered(int serial, const std::optional<std::string> &answer, const std::string &why,
                       SteadyTime at);
    // This window's test, while it is the panel's last run; nothing else.
    const battery::DischargeRun *myRun() const;
    void reading(const std::optional<std::string> &answer, const std::string &why, SteadyTime at);
    void counted();
    void finish();
    void showFigures();
    void setStatus(const QString &text, bool problem = false);
    void enableControls();

    FrontPanel &m_panel;
    meter::MeterThread *m_meter;
    QComboBox *m_mode = nullptr;
    QLabel *m_unit = nullptr; // the setpoint's, which follows the mode
    std::vector<std::pair<std::string, QLineEdit *>> m_lines; // by the parameter's key
    QPushButton *m_browse = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QLabel *m_figures = nullptr;
    QLabel *m_status = nullptr;
    BatteryPlot *m_plot = nullptr;
    QTimer m_due;     // a reading without a meter
    QTimer m_silence; // the meter's answer overdue
    measure::RunLog m_log;
    std::optional<battery::Setup> m_setup;
    QString m_identity;
    int m_serial = 0;          // of the meter request awaited
    bool m_connecting = false; // the meter is being asked *IDN?
    bool m_asking = false;     // a reading's query is out
    bool m_mine = false;       // the panel's run is this window's test
    unsigned m_runNumber = 0;  // the panel's number of this window's last test
    long m_shown = 0;          // readings logged and plotted
    std::string m_logLost;     // why the reading that ended the test could not be logged
};

} // namespace rz417
