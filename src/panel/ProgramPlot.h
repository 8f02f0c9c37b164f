#pragma once

#include "program/Program.h"

#include <QChartView>

#include <chrono>
#include <optional>

class QLineSeries;
class QValueAxis;

namespace rz417 {

// The programmed setpoint against time, one colour and one axis per mode, the intervals with the
// input on shaded, and a cursor at the time of a run.
class ProgramPlot : public QChartView
{
    Q_OBJECT

public:
    explicit ProgramPlot(const Program &program, QWidget *parent = nullptr);

    // Where the cursor stands in the pass; nothing hides it.
    void setTimeCursor(std::optional<std::chrono::milliseconds> at);

private:
    QLineSeries *m_cursor = nullptr;
};

} // namespace rz417
