#include "cli/ProgramText.h"

#include <cstdio>

namespace rz417::cli {

std::string stepText(const ProgramStep &step)
{
    std::string text;
    for (const StepFrame &frame : stepFrames(step))
        text += (text.empty() ? "" : ", ") + frame.meaning;
    return text.empty() ? "no change" : text;
}

std::vector<std::string> scheduleText(const Program &program, int passes)
{
    std::vector<std::string> lines;
    const int shown = passes == 0 ? 1 : passes;
    for (int pass = 0; pass < shown; ++pass) {
        const auto offset = program.duration() * pass;
        for (std::size_t i = 0; i < program.steps.size(); ++i) {
            const ProgramStep &step = program.steps[i];
            std::string head = "+" + durationText(offset + step.start, true) + "  step " +
                               std::to_string(i + 1) + " (line " + std::to_string(step.line) + ")";
            if (shown > 1)
                head += " pass " + std::to_string(pass + 1);
            const auto frames = stepFrames(step);
            if (frames.empty())
                lines.push_back(head + "  no frame");
            for (const StepFrame &frame : frames)
                lines.push_back(head + "  TX " + frame.frame + " " + frame.meaning);
        }
    }
    const std::string end = "+" + durationText(program.duration() * shown, true);
    lines.push_back(passes == 0 ? end + "  the list starts again, until interrupted"
                                : end + "  end");
    return lines;
}

std::string progressText(const Program &program, const ProgramRun &run, SteadyTime now)
{
    const auto current = run.currentStep();
    std::string text;
    if (current) {
        text = "step " + std::to_string(*current + 1) + " of " +
               std::to_string(program.steps.size()) + ": " + stepText(program.steps[*current]);
    } else {
        text = "starting";
    }
    text += " | " + durationText(run.elapsed(now)) + " elapsed";
    if (const auto left = run.remaining(now))
        text += ", " + durationText(*left) + " left";
    if (run.passes() == 0)
        text += " | repeat " + std::to_string(run.currentPass()) + " until interrupted";
    else if (run.passes() > 1)
        text += " | repeat " + std::to_string(run.currentPass()) + " of " +
                std::to_string(run.passes());
    return text;
}

} // namespace rz417::cli
