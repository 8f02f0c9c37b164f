#include "battery/BatterySetup.h"

#include "battery/Discharge.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

namespace rz417::battery {

namespace {

// An optional stop: empty leaves it out.
bool readStop(const char *field, const std::string &text,
              std::optional<int64_t> (*parse)(std::string_view, std::string &),
              std::optional<int64_t> &into, std::string &why)
{
    if (text.empty())
        return true;
    std::string wrong;
    into = parse(text, wrong);
    if (!into)
        why = std::string(field) + ": " + wrong;
    return into.has_value();
}

} // namespace

std::optional<Setup> readSetup(const SetupTexts &texts, std::string &why)
{
    Setup setup;
    const ModeInfo *mode = modeByName(texts.mode);
    if (!mode || mode->code == ModeCodes::CV) {
        why = Discharge::refusal(ModeCodes::CV, {}, false);
        return std::nullopt;
    }
    const ParsedSetpoint value = parseSetpoint(mode->code, texts.value);
    if (!value.value) {
        why = "Value: " + value.error;
        return std::nullopt;
    }
    setup.plan.mode = mode->code;
    setup.plan.value = *value.value;
    if (!readStop("Cut-off", texts.cutoff, parseVolts, setup.stops.cutoffMillivolts, why) ||
        !readStop("Capacity", texts.capacity, parseCapacity, setup.stops.capacityMicroAh, why) ||
        !readStop("Energy", texts.energy, parseEnergy, setup.stops.energyMilliWh, why) ||
        !readStop("Time", texts.time, parseDuration, setup.stops.timeMs, why))
        return std::nullopt;
    std::string wrong;
    const auto interval = parseDuration(texts.interval, wrong);
    if (!interval || *interval < 200) {
        why = "Interval takes seconds from 0.2 on, such as 1, 0.5 or 10s, not " +
              quotedWord(texts.interval);
        return std::nullopt;
    }
    setup.plan.interval = std::chrono::milliseconds(*interval);
    if (!texts.meter.empty()) {
        setup.meter = parseMeterAddress(texts.meter, wrong);
        if (!setup.meter) {
            why = "Meter: " + wrong;
            return std::nullopt;
        }
    }
    if (texts.query.empty() || texts.query.find_first_of("\r\n") != std::string::npos) {
        why = std::string("Query takes one SCPI query, such as ") + kDefaultMeterQuery;
        return std::nullopt;
    }
    setup.plan.query = texts.query;
    why = Discharge::refusal(setup.plan.mode, setup.stops, setup.meter.has_value(),
                             Discharge::Wording::Window);
    if (!why.empty())
        return std::nullopt;
    return setup;
}

} // namespace rz417::battery
