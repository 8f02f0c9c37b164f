#pragma once

#include "measure/MeasuredRun.h"
#include "window/BatteryPlot.h"

class QWidget;

namespace rz417 {

// A kind's live plot as the measured window drives it: told of a run as it is made, before its
// first reading, and of each reading once it is logged.
class RunPlot
{
public:
    virtual ~RunPlot() = default;
    virtual QWidget *widget() = 0;
    virtual void started(const measure::MeasuredRun &run) = 0;
    virtual void counted(const measure::MeasuredRun &run) = 0;
};

// A battery discharge: the voltage and the capacity drawn against time, up to its time stop.
class DischargePlot : public BatteryPlot, public RunPlot
{
    Q_OBJECT

public:
    explicit DischargePlot(QWidget *parent) : BatteryPlot(parent) {}

    QWidget *widget() override { return this; }
    void started(const measure::MeasuredRun &run) override;
    void counted(const measure::MeasuredRun &run) override;
};

} // namespace rz417
