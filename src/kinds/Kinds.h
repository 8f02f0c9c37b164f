#pragma once

#include "battery/BatteryWords.h"
#include "measure/MeasuredRun.h"
#include "measure/Parameters.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rz417::kinds {

// A measured test read from its parameters, ready to run.
class Test
{
public:
    virtual ~Test() = default;
    virtual const std::optional<battery::MeterAddress> &meter() const = 0;
    virtual const std::string &log() const = 0;
    // Its steps, fresh; metered: whether a meter answered and is asked at each reading.
    virtual std::unique_ptr<measure::MeasuredRun> makeRun(bool metered) const = 0;
};

// A kind of measured test as every front end offers it: its command, its name in the window,
// its parameters (the command's words and options, the window's fields) and how its texts are
// read into a test.
struct Kind
{
    const char *name;                // the command and the journal's source: "ocp"
    const char *title;               // the window's choice: "OCP"
    const char *what;                // where a frame stopped, in messages: "the OCP test"
    const char *synopsis;            // "sweep cc|cp|cr FROM TO STEP"
    const char *help;                // the command's line in --help
    const char *example;             // a whole command, for a refusal of its words
    std::vector<const char *> words; // the keys that the command's words give, in order
    const char *wordsNeeded;         // what they are: "a mode and its value"; empty for none
    std::vector<measure::ParameterInfo> parameters;
    std::unique_ptr<Test> (*read)(const measure::Texts &texts, measure::Naming naming,
                                  std::string &why);
    bool needsMeter;
};

// Battery discharge, OCP, OPP, I-V sweep, internal resistance: in the window's order.
const std::vector<Kind> &kinds();
const Kind *kindNamed(std::string_view name);

} // namespace rz417::kinds
