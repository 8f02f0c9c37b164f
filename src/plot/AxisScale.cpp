#include "plot/AxisScale.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace rz417 {

namespace {

double powerOfTen(int exponent)
{
    return exponent >= 0 ? std::pow(10.0, exponent) : 1.0 / std::pow(10.0, -exponent);
}

// n * 10^exponent from the integer's digits, so that no locale and no rounding of a double
// reaches the label.
std::string tickLabel(long long n, int exponent)
{
    std::string digits = std::to_string(n);
    if (exponent >= 0)
        return n == 0 ? digits : digits + std::string(static_cast<std::size_t>(exponent), '0');
    const auto decimals = static_cast<std::size_t>(-exponent);
    if (digits.size() <= decimals)
        digits.insert(0, decimals + 1 - digits.size(), '0');
    digits.insert(digits.size() - decimals, 1, '.');
    return digits;
}

} // namespace

AxisScale axisScale(double high, int maxTicks, int finestExponent, bool roundUp)
{
    if (!std::isfinite(high) || !(high > 0))
        high = 1;
    maxTicks = std::max(maxTicks, 2);
    constexpr int kMantissas[] = {1, 2, 5};
    // A tenth of the span over the ticks is finer than any step that can fit; start there.
    int exponent =
        std::max(finestExponent, static_cast<int>(std::floor(std::log10(high / maxTicks))) - 1);
    // The step as mantissa * 10^exponent, and the number of steps from 0 to the axis' end.
    struct Step
    {
        int mantissa;
        int exponent;
        long long count;
    };
    std::optional<Step> before;
    std::optional<Step> chosen;
    while (!chosen) {
        for (const int mantissa : kMantissas) {
            const double steps = high / (mantissa * powerOfTen(exponent));
            // A whisker of tolerance, so that 0.3 / 0.1 is 3 steps, not 2.999...
            const auto count = static_cast<long long>(roundUp ? std::ceil(steps - 1e-9)
                                                              : std::floor(steps + 1e-9));
            const Step step{mantissa, exponent, count};
            if (count + 1 <= maxTicks) {
                chosen = count >= 1 || !before ? step : *before;
                break;
            }
            before = step;
        }
        ++exponent;
    }

    AxisScale scale;
    const double unit = powerOfTen(chosen->exponent);
    for (long long k = 0; k <= chosen->count; ++k) {
        const long long n = k * chosen->mantissa;
        // Dividing by an exact power of ten keeps 0.3 from becoming 0.30000000000000004.
        const double value = chosen->exponent >= 0
                                 ? static_cast<double>(n) * unit
                                 : static_cast<double>(n) / powerOfTen(-chosen->exponent);
        scale.ticks.push_back({value, tickLabel(n, chosen->exponent)});
    }
    scale.high = roundUp ? std::max(scale.ticks.back().value, high) : high;
    return scale;
}

} // namespace rz417
