#pragma once

#include "battery/BatterySetup.h"

#include <QFile>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <string>

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
    QLineEdit *addField(const char *name, const QString &settingKey, const QString &initial);
    void layOut();
    battery::SetupTexts fieldTexts() const;
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
    void counted();
    void finish();
    void showFigures();
    void setStatus(const QString &text, bool problem = false);
    void enableControls();

    FrontPanel &m_panel;
    meter::MeterThread *m_meter;
    QComboBox *m_mode = nullptr;
    QLineEdit *m_value = nullptr;
    QLabel *m_unit = nullptr;
    QLineEdit *m_cutoff = nullptr;
    QLineEdit *m_capacity = nullptr;
    QLineEdit *m_energy = nullptr;
    QLineEdit *m_time = nullptr;
    QLineEdit *m_meterAddress = nullptr;
    QLineEdit *m_query = nullptr;
    QLineEdit *m_interval = nullptr;
    QLineEdit *m_log = nullptr;
    QPushButton *m_browse = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QLabel *m_figures = nullptr;
    QLabel *m_status = nullptr;
    BatteryPlot *m_plot = nullptr;
    QTimer m_due;     // a reading without a meter
    QTimer m_silence; // the meter's answer overdue
    QFile m_logFile;
    std::optional<battery::Setup> m_setup;
    QString m_identity;
    int m_serial = 0;          // of the meter request awaited
    bool m_connecting = false; // the meter is being asked *IDN?
    bool m_asking = false;     // a reading's query is out
    bool m_mine = false;       // the panel's run is this window's test
    long m_shown = 0;          // readings logged and plotted
    QString m_logLost;         // the reading that ended the test could not be logged
};

} // namespace rz417
