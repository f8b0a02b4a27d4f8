// The survey of COM1-COM8 on Windows, decided from answers Windows really
// gives: SERIALCOMM's names, SetupAPI's descriptions of the Ports class and
// the error an open ends with. Wine gives none of "busy" (it lets a second
// open succeed) nor USB identities, so they are proven here.
#include "com_ports.h"

#include <gtest/gtest.h>
#include <map>

namespace {

using namespace port_survey;

// Every slot opens its own COM port unless a case maps it.
struct Machine {
    ComFacts facts;
    std::map<std::string, unsigned long> errors; // by device; absent: it opens

    Machine()
    {
        for (unsigned long number = 1; number <= PortCount; ++number)
            facts.slots.push_back({"COM" + std::to_string(number), "default"});
        facts.openError = [this](const std::string& device) {
            const auto found = errors.find(device);
            return found == errors.end() ? win32_error::Success : found->second;
        };
    }
};

const PortDevice Ftdi = {"COM12",
                         "USB Serial Port (COM12)",
                         "FTDI",
                         "USB\\VID_0403&PID_6001\\A600XYZ",
                         {"USB\\VID_0403&PID_6001&REV_0600", "USB\\VID_0403&PID_6001"}};

struct StatusCase {
    const char* name;
    SlotTarget slot; // COM3's
    unsigned long error;
    PortStatus status;
    const char* advice; // a piece of it
};

const StatusCase StatusCases[] = {
    {"it opens", {"COM3", "default"}, 0, PortStatus::Ready, "quorvel('Open', vantrel('COM3')) can open it."},
    {"its mapped device opens",
     {"\\\\.\\COM12", "registry"},
     0,
     PortStatus::Ready,
     "quorvel('Open', vantrel('COM3')) opens \\\\.\\COM12."},
    {"no such port", {"COM3", "default"}, 2, PortStatus::Missing, "There is no COM3 now (unplugged?)"},
    {"no such path", {"COM3", "default"}, 3, PortStatus::Missing, "There is no COM3 now"},
    {"its mapped device is gone",
     {"\\\\.\\COM12", "QUORVEL_PORTS"},
     2,
     PortStatus::TargetMissing,
     "COM3 is mapped to \\\\.\\COM12, which is not present now (unplugged?)"},
    {"another program has it", {"COM3", "default"}, 5, PortStatus::Busy, "Another program, or this session"},
    {"another program shares nothing", {"COM3", "default"}, 32, PortStatus::Busy, "quorvel('CloseAll')"},
    {"its driver fails",
     {"COM3", "default"},
     31,
     PortStatus::NoAccess,
     "Windows refuses to open it (error 31)"},
};

TEST(ComPortsTest, EachAnswerOfAnOpenHasItsStatusAndAdvice)
{
    for (const StatusCase& c : StatusCases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        machine.facts.slots[2] = c.slot;
        machine.errors[c.slot.device] = c.error;
        const PortRow row = ComPortRows(machine.facts)[2];
        EXPECT_EQ(row.port, "COM3");
        EXPECT_EQ(row.device, c.slot.device);
        EXPECT_EQ(row.source, c.slot.source);
        EXPECT_EQ(row.status, c.status);
        EXPECT_NE(row.advice.find(c.advice), std::string::npos) << row.advice;
    }
}

TEST(ComPortsTest, AMissingPortOffersBothWaysToReachAnAdapterAboveCom8)
{
    Machine machine;
    machine.facts.present = {"COM1", "COM12", "COM15"};
    machine.facts.devices = {Ftdi};
    machine.errors["COM3"] = win32_error::FileNotFound;
    std::string advice = ComPortRow(machine.facts, 3).advice;
    EXPECT_NE(advice.find("COM12, COM15 are present but out of reach: map it with quorvel_ports('COM3', "
                          "'COM12'), or give it a number from COM1 to COM8 in Device Manager (Ports > the "
                          "adapter > Port Settings > Advanced > COM Port Number), which needs administrator "
                          "rights; free now: COM2, COM3, COM4, COM5, COM6, COM7, COM8."),
              std::string::npos)
        << advice;

    machine.facts.slots[3] = {"\\\\.\\COM12", "registry"};
    machine.facts.slots[4] = {"\\\\.\\com15", "registry"};
    advice = ComPortRow(machine.facts, 3).advice;
    EXPECT_EQ(advice, "There is no COM3 now (unplugged?): plug the adapter in.") << "both are mapped";
}

TEST(ComPortsTest, AUsbAdapterIsDescribedByItsIdsAndSerialNumber)
{
    const std::pair<PortDevice, const char*> cases[] = {
        {Ftdi, "USB Serial Port (COM12) by FTDI, serial A600XYZ, 0403:6001"},
        {{"COM4",
          "Arduino Uno (COM4)",
          "Arduino LLC (www.arduino.cc)",
          "USB\\VID_2341&PID_0043\\5&2A3B4C5D&0&1",
          {"USB\\VID_2341&PID_0043&REV_0001"}},
         "Arduino Uno (COM4) by Arduino LLC (www.arduino.cc), 2341:0043"},
        {{"COM5",
          "USB Serial Port (COM5)",
          "FTDI",
          "FTDIBUS\\VID_0403+PID_6015+DN05XYZA\\0000",
          {"FTDIBUS\\COMPORT&VID_0403&PID_6015"}},
         "USB Serial Port (COM5) by FTDI, 0403:6015"},
        {{"COM6",
          "Silicon Labs CP210x USB to UART Bridge (COM6)",
          "Silicon Labs",
          "USB\\VID_10C4&PID_EA60\\0001",
          {}},
         "Silicon Labs CP210x USB to UART Bridge (COM6) by Silicon Labs, serial 0001, 10c4:ea60"},
        {{"COM1",
          "Communications Port (COM1)",
          "(Standard port types)",
          "ACPI\\PNP0501\\1",
          {"ACPI\\PNP0501"}},
         "Communications Port (COM1) by (Standard port types)"},
        {{"COM7", "", "", "USB\\VID_067B&PID_2303\\6&1A2B3C&0&2", {}}, "067b:2303"},
    };
    for (const auto& [device, description] : cases)
        EXPECT_EQ(ComDescription(device), description) << device.instanceId;
}

TEST(ComPortsTest, DevicesAreListedOnceInNaturalOrderWithTheSlotsThatReachThem)
{
    Machine machine;
    machine.facts.present = {"COM12", "COM3", "COM1", "com12"};
    machine.facts.devices = {Ftdi};
    machine.facts.slots[3] = {"\\\\.\\COM12", "registry"};
    const std::vector<SerialDevice> devices = ComDevices(machine.facts, ComPortRows(machine.facts));
    ASSERT_EQ(devices.size(), 3u);
    const std::pair<const char*, const char*> expected[] = {
        {"COM1", "COM1"}, {"COM3", "COM3"}, {"COM12", "COM4"}};
    for (std::size_t k = 0; k < devices.size(); ++k) {
        EXPECT_EQ(devices[k].path, expected[k].first);
        EXPECT_EQ(devices[k].mappedAs, expected[k].second);
    }
    EXPECT_EQ(devices[2].description, ComDescription(Ftdi));
    EXPECT_EQ(ComPortRow(machine.facts, 4).description, ComDescription(Ftdi))
        << "the row of the slot mapped to it";
}

struct PlanCase {
    const char* target;
    const char* path;
    std::string refusal;
};

TEST(ComPortsTest, AMappingIsRefusedForANameThatIsNoDeviceOrADeviceAnotherSlotReaches)
{
    std::vector<SlotTarget> slots;
    for (unsigned long number = 1; number <= PortCount; ++number)
        slots.push_back({"COM" + std::to_string(number), "default"});
    slots[4] = {"\\\\.\\COM12", "registry"};
    const PlanCase cases[] = {
        {"com13", "\\\\.\\COM13", ""},
        {"\\\\.\\CNCA0", "\\\\.\\CNCA0", ""},
        {"COM3", "\\\\.\\COM3", ""},
        {"CNCA0", "",
         "The device must be a COM port such as 'COM12' or a device path such as '\\\\.\\CNCA0', not "
         "'CNCA0'."},
        {"COM12", "\\\\.\\COM12",
         "COM5 already reaches \\\\.\\COM12, and a port opens for one owner only, so the second Open would "
         "fail: "
         "remove that mapping first with quorvel_ports('COM5', '')."},
        {"COM4", "\\\\.\\COM4",
         "COM4 already reaches \\\\.\\COM4, and a port opens for one owner only, so the second Open would "
         "fail: "
         "map COM4 to another device first."},
    };
    for (const PlanCase& c : cases) {
        const MappingPlan plan = PlanMapping(3, c.target, slots);
        EXPECT_EQ(plan.path, c.path) << c.target;
        EXPECT_EQ(plan.refusal, c.refusal) << c.target;
    }
}

} // namespace
