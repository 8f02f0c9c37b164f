#pragma once

#include <gtest/gtest.h>

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

} // namespace rz417::sim
