#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace rz417::bench {

struct Summary
{
    double median = 0;
    double p99 = 0;
    double min = 0;
    double max = 0;
    std::size_t n = 0;
};

// Nearest-rank percentiles: p99 of fewer than 100 runs is the worst run.
double percentile(std::vector<double> values, double p);
Summary summarize(const std::vector<double> &values);

// One line that scripts/bench collects: FIGURE key median p99 n unit.
void printFigure(const std::string &key, const Summary &summary, const std::string &unit);
// A single measurement (no repeated runs); printed with n = 1.
void printValue(const std::string &key, double value, const std::string &unit);
// Free text that scripts/bench passes through as a note.
void printNote(const std::string &text);

inline double millisecondsBetween(std::chrono::steady_clock::time_point from,
                                  std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace rz417::bench
