#pragma once

#include "battery/BatteryWords.h"
#include "measure/Parameters.h"

#include <chrono>
#include <optional>
#include <string>

namespace rz417::battery {

// The rows that every measured test with a meter has (the meter, its query, the log), for a
// setup that keeps them in the members given (of the setup or of a base of it).

std::string readMeterAddress(const std::string &text, std::optional<MeterAddress> &into);
std::string readMeterQuery(const std::string &text, std::string &into);
// A time between steps or readings: seconds from 0.2 on ("1", "0.5", "10s", "2min").
std::string readSeconds(const std::string &text, std::chrono::milliseconds &into);

template <class Setup, class Owner, std::optional<MeterAddress> Owner::*field>
std::string takeMeterAddress(const std::string &text, Setup &into)
{
    return readMeterAddress(text, into.*field);
}

template <class Setup, class Owner, std::string Owner::*field>
std::string takeLogFile(const std::string &text, Setup &into)
{
    into.*field = text;
    return {};
}

template <class Setup, class Owner, std::optional<MeterAddress> Owner::*field>
measure::Parameter<Setup> meterParameter(const char *help)
{
    return {"meter",
            "--meter",
            "ADDRESS",
            "HOST:PORT or serial:DEVICE[@BAUD]",
            help,
            "M&eter",
            "",
            "",
            "HOST:PORT or serial:DEVICE[@BAUD]",
            "",
            measure::Field::Line,
            true,
            takeMeterAddress<Setup, Owner, field>};
}

// take reads the query with readMeterQuery into where the setup keeps it.
template <class Setup>
measure::Parameter<Setup> queryParameter(std::string (*take)(const std::string &, Setup &))
{
    return {"query",
            "--meter-query",
            "Q",
            "one SCPI query, such as MEAS:VOLT:DC?",
            "the meter's query for volts: MEAS:VOLT:DC? by default",
            "&Query",
            "",
            kDefaultMeterQuery,
            "",
            "--meter",
            measure::Field::Line,
            false,
            take};
}

template <class Setup, class Owner, std::string Owner::*field>
measure::Parameter<Setup> logParameter()
{
    return {"log",
            "--log",
            "FILE",
            "a file name",
            "write each reading to FILE as CSV",
            "&Log file",
            "",
            "",
            "a CSV file, or none",
            "",
            measure::Field::File,
            true,
            takeLogFile<Setup, Owner, field>};
}

} // namespace rz417::battery
