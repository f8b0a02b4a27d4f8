// The names a Windows port mapping is written in: the slot, the device a
// target names and the QUORVEL_PORTS list, read as the module reads them.
#include "win32/port_map.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace win32_ports;

TEST(PortMapTest, OnlyComAndADecimalNumberNameAPort)
{
    const std::pair<const char*, unsigned> cases[] = {
        {"COM3", 3},  {"com12", 12}, {"\\\\.\\COM4", 4}, {"\\\\.\\com255", 255}, {"COM", 0},     {"COM0", 0},
        {"COM03", 0}, {"COM3x", 0},  {"LPT1", 0},        {"xCOM1", 0},           {"\\\\.\\", 0}, {"", 0},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(ComNumber(name), number) << name;
}

TEST(PortMapTest, ATargetIsAComNameOrADevicePath)
{
    const std::pair<const char*, const char*> cases[] = {
        {"COM12", "\\\\.\\COM12"},
        {"com12", "\\\\.\\COM12"},
        {"\\\\.\\com12", "\\\\.\\COM12"},
        {"\\\\.\\CNCA0", "\\\\.\\CNCA0"},
        {"\\\\.\\Global\\CNCA0", ""},
        {"\\\\.\\", ""},
        {"\\\\.\\CNC A0", ""},
        {"CNCA0", ""},
        {"C:\\temp\\port", ""},
        {"/dev/ttyUSB0", ""},
        {"COM0", ""},
        {"", ""},
    };
    for (const auto& [target, expected] : cases) {
        char path[PathSize] = "unchanged";
        EXPECT_EQ(DevicePath(target, path, sizeof path), expected[0] != '\0') << target;
        EXPECT_STREQ(path, expected) << target;
    }
    char small[8];
    EXPECT_FALSE(DevicePath("COM12", small, sizeof small)) << "\\\\.\\COM12 needs 10 bytes";
}

TEST(PortMapTest, TheListGivesEachSlotItsOwnEntry)
{
    const char* list = "COM3=COM12;com5=\\\\.\\CNCA0;COM13=COM14;COM6=;junk;COM7";
    const std::pair<unsigned, const char*> cases[] = {
        {3, "COM12"}, {5, "\\\\.\\CNCA0"}, {6, ""}, {1, nullptr}, {7, nullptr}, {13, "COM14"},
    };
    for (const auto& [number, expected] : cases) {
        char target[PathSize] = "";
        EXPECT_EQ(ListedTarget(list, number, target, sizeof target), expected != nullptr) << number;
        EXPECT_STREQ(target, expected == nullptr ? "" : expected) << number;
    }
    char target[PathSize];
    EXPECT_FALSE(ListedTarget("", 3, target, sizeof target));
}

} // namespace
