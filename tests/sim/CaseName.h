#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace rz417::sim {

// Names each case of a parameterised test after the `name` field of its row.
struct CaseName
{
    template <typename Case> std::string operator()(const ::testing::TestParamInfo<Case> &row) const
    {
        return row.param.name;
    }
};

namespace {

// A failing row is shown by its name, not as a dump of its bytes. Declared in the unnamed
// namespace that holds the rows, where the test framework's printer finds it.
template <typename Case>
auto operator<<(std::ostream &out, const Case &row) -> decltype(row.name, out)
{
    return out << row.name;
}

} // namespace

} // namespace rz417::sim
