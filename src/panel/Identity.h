#pragma once

namespace rz417::identity {

constexpr const char *kCompany = "QUENDA";
constexpr const char *kProduct = "RZ-417";
constexpr const char *kVersion = "1.00";
constexpr const char *kInternalName = "RZ417";

} // namespace rz417::identity
