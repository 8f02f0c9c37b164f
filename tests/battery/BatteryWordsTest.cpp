#include "battery/BatteryWords.h"

#include <gtest/gtest.h>

namespace rz417::battery {
namespace {

using Parser = std::optional<int64_t> (*)(std::string_view, std::string &);

TEST(BatteryWords, QuantitiesWithTheirUnits)
{
    const struct
    {
        Parser parse;
        const char *text;
        std::optional<int64_t> value;
    } rows[] = {
        {parseCapacity, "2.5", 2500000},
        {parseCapacity, "2.5Ah", 2500000},
        {parseCapacity, "2500mAh", 2500000},
        {parseCapacity, "2500MAH", 2500000},
        {parseCapacity, "0.0000005", 0},
        {parseCapacity, "0", std::nullopt},
        {parseCapacity, "-1", std::nullopt},
        {parseCapacity, "2,5", std::nullopt},
        {parseCapacity, "2.5Wh", std::nullopt},
        {parseCapacity, "Ah", std::nullopt},
        {parseEnergy, "10", 10000},
        {parseEnergy, "10Wh", 10000},
        {parseEnergy, "500mWh", 500},
        {parseEnergy, "1e3", std::nullopt},
        {parseVolts, "3.0", 3000},
        {parseVolts, "3V", 3000},
        {parseVolts, "2750mV", 2750},
        {parseVolts, "3 V", std::nullopt},
        {parseDuration, "90", 90000},
        {parseDuration, "90s", 90000},
        {parseDuration, "45min", 2700000},
        {parseDuration, "1.5h", 5400000},
        {parseDuration, "250ms", 250},
        {parseDuration, "0.5", 500},
        {parseDuration, "1d", std::nullopt},
        {parseDuration, "", std::nullopt},
    };
    for (const auto &row : rows) {
        std::string why;
        const auto value = row.parse(row.text, why);
        // Half a micro-ampere-hour rounds to none, which is no capacity either.
        const auto expected = row.value == 0 ? std::nullopt : row.value;
        EXPECT_EQ(value, expected) << row.text;
        EXPECT_EQ(why.empty(), expected.has_value()) << row.text << ": " << why;
        if (!expected) {
            EXPECT_NE(why.find("such as"), std::string::npos) << why;
        }
    }
}

TEST(BatteryWords, MeterAddresses)
{
    using Kind = MeterAddress::Kind;
    const struct
    {
        const char *text;
        bool ok;
        Kind kind;
        const char *where; // host or device
        int number;        // port or baud
    } rows[] = {
        {"192.168.1.20:5025", true, Kind::Socket, "192.168.1.20", 5025},
        {"dmm.lab:5025", true, Kind::Socket, "dmm.lab", 5025},
        {"[fe80::1]:5025", true, Kind::Socket, "fe80::1", 5025},
        {"serial:/dev/ttyUSB0", true, Kind::Serial, "/dev/ttyUSB0", 9600},
        {"serial:/dev/ttyUSB0@115200", true, Kind::Serial, "/dev/ttyUSB0", 115200},
        {"serial:3@19200", true, Kind::Serial, "3", 19200},
        {"192.168.1.20", false, Kind::Socket, "", 0},
        {"192.168.1.20:0", false, Kind::Socket, "", 0},
        {"192.168.1.20:70000", false, Kind::Socket, "", 0},
        {"serial:", false, Kind::Serial, "", 0},
        {"serial:/dev/ttyUSB0@fast", false, Kind::Serial, "", 0},
    };
    for (const auto &row : rows) {
        std::string why;
        const auto address = parseMeterAddress(row.text, why);
        ASSERT_EQ(address.has_value(), row.ok) << row.text << ": " << why;
        if (!address) {
            EXPECT_NE(why.find("give HOST:PORT"), std::string::npos) << why;
            continue;
        }
        EXPECT_EQ(address->kind, row.kind) << row.text;
        EXPECT_EQ(row.kind == Kind::Socket ? address->host : address->device, row.where);
        EXPECT_EQ(row.kind == Kind::Socket ? address->port : address->baud, row.number);
    }
}

TEST(BatteryWords, MeterReadings)
{
    const struct
    {
        const char *text;
        std::optional<double> value;
    } rows[] = {
        {"+3.71234E+00", 3.71234},
        {"3.712", 3.712},
        {" 3.712\r", 3.712},
        {"-0.001", -0.001},
        {"+9.90000000E+37", {}},
        {"3,712", {}},
        {"", {}},
        {"3.7 V", {}},
        {"nan", {}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(parseReading(row.text), row.value) << row.text;
}

} // namespace
} // namespace rz417::battery
