#include "support/Stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace rz417::bench {

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank =
        static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

Summary summarize(const std::vector<double> &values)
{
    Summary s;
    s.n = values.size();
    if (values.empty())
        return s;
    s.median = percentile(values, 50);
    s.p99 = percentile(values, 99);
    s.min = *std::min_element(values.begin(), values.end());
    s.max = *std::max_element(values.begin(), values.end());
    return s;
}

void printFigure(const std::string &key, const Summary &summary, const std::string &unit)
{
    std::printf("FIGURE %s %.6g %.6g %zu %s\n", key.c_str(), summary.median, summary.p99, summary.n,
                unit.c_str());
    std::fflush(stdout);
}

void printValue(const std::string &key, double value, const std::string &unit)
{
    std::printf("FIGURE %s %.6g %.6g 1 %s\n", key.c_str(), value, value, unit.c_str());
    std::fflush(stdout);
}

void printNote(const std::string &text)
{
    std::printf("NOTE %s\n", text.c_str());
    std::fflush(stdout);
}

} // namespace rz417::bench
