#pragma once

#include "kinds/Kinds.h"
#include "measure/RunLog.h"

#include "window/RunWindow.h"

#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QVBoxLayout;

namespace rz417 {

class FrontPanel;
class RunPlot;
class TestFields;
namespace meter {
class MeterThread;
}

// A measured test beside the panel, of the kind chosen at the top (a battery discharge, OCP,
// OPP, an I-V sweep, internal resistance): the kind's fields, Start and Stop, its live plot, the
// figures and the summary. The test itself is the panel's, as a program's run is; this window
// wakes it when a reading is due and asks the meter from a thread of its own, so that nothing
// ever waits inside a handler.
class MeasuredWindow : public RunWindow
{
    Q_OBJECT

public:
    explicit MeasuredWindow(FrontPanel &panel, QWidget *parent = nullptr);
    ~MeasuredWindow() override;

private:
    void begin() override;
    // Without a meter the shell's timer wakes each reading; with one, the meter's thread.
    void due() override;
    void cancel() override;
    void runChanged(bool running) override;
    void controlsChanged(bool busy) override;

    void layOut();
    // The kind at its index in the table: its fields and plot in place of the last kind's.
    void choose(int index);
    bool openLog(const std::string &header);
    void meterOpened(int serial, const std::optional<std::string> &identity,
                     const std::string &why);
    // The meter answered who it is, or there is none: the test goes to the panel.
    void startTest();
    void askMeter();
    void meterAnswered(int serial, const std::optional<std::string> &answer, const std::string &why,
                       SteadyTime at);
    // This window's test, while it is the panel's last run; nothing else.
    const measure::MeasuredRun *myRun() const;
    void reading(const std::optional<std::string> &answer, const std::string &why, SteadyTime at);
    void counted();
    void finish();
    void setStatus(const QString &text, bool problem = false);

    meter::MeterThread *m_meter;
    const kinds::Kind *m_kind = nullptr;
    QComboBox *m_kinds = nullptr;
    TestFields *m_fields = nullptr;
    RunPlot *m_plot = nullptr;
    QVBoxLayout *m_layout = nullptr;
    QLabel *m_figures = nullptr;
    QLabel *m_status = nullptr;
    QTimer m_silence; // the meter's answer overdue
    measure::RunLog m_log;
    std::unique_ptr<kinds::Test> m_test;
    std::unique_ptr<measure::MeasuredRun> m_ready; // made at Start, the panel's once it starts
    QString m_identity;
    int m_serial = 0;      // of the meter request awaited
    bool m_asking = false; // a reading's query is out
    long m_shown = 0;      // readings logged and plotted
    std::string m_logLost; // why the reading that ended the test could not be logged
    // Whether the input may have been on when the test started, and the input-on frames then.
    bool m_onBefore = false;
    uint32_t m_onFrames = 0;
};

} // namespace rz417
