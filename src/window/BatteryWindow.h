#pragma once

#include "battery/BatterySetup.h"
#include "measure/RunLog.h"

#include "window/RunWindow.h"

#include <QTimer>

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
class BatteryWindow : public RunWindow
{
    Q_OBJECT

public:
    explicit BatteryWindow(FrontPanel &panel, QWidget *parent = nullptr);
    ~BatteryWindow() override;

private:
    void begin() override;
    // Without a meter the shell's timer wakes each reading; with one, the meter's thread.
    void due() override;
    void cancel() override;
    void runChanged(bool running) override;
    void controlsChanged(bool busy) override;

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
    // The meter answered who it is, or there is none: the test goes to the panel.
    void startTest();
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

    meter::MeterThread *m_meter;
    QComboBox *m_mode = nullptr;
    QLabel *m_unit = nullptr; // the setpoint's, which follows the mode
    std::vector<std::pair<std::string, QLineEdit *>> m_lines; // by the parameter's key
    QPushButton *m_browse = nullptr;
    QLabel *m_figures = nullptr;
    QLabel *m_status = nullptr;
    BatteryPlot *m_plot = nullptr;
    QTimer m_silence; // the meter's answer overdue
    measure::RunLog m_log;
    std::optional<battery::Setup> m_setup;
    QString m_identity;
    int m_serial = 0;      // of the meter request awaited
    bool m_asking = false; // a reading's query is out
    long m_shown = 0;      // readings logged and plotted
    std::string m_logLost; // why the reading that ended the test could not be logged
};

} // namespace rz417
