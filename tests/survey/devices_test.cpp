// The serial devices present, told apart and described from a fake /dev and
// sysfs whose device nodes are pseudo-terminals.
#include "device_facts.h"
#include "survey_fixture.h"

namespace survey_test {
namespace {

using DeviceTest = SurveyTest;

struct UsbCase {
    std::vector<std::pair<const char*, const char*>> attributes;
    const char* description;
};

TEST_F(DeviceTest, AUsbAdapterIsDescribedByTheUsbDeviceAboveItsTty)
{
    const UsbCase cases[] = {
        {{{"manufacturer", "FTDI"},
          {"product", "FT232R USB UART"},
          {"serial", "A50285BI"},
          {"idVendor", "0403"},
          {"idProduct", "6001"}},
         "FTDI FT232R USB UART, serial A50285BI, 0403:6001"},
        {{{"product", "USB Serial"}, {"idVendor", "1a86"}, {"idProduct", "7523"}}, "USB Serial, 1a86:7523"},
        {{{"idVendor", "067b"}, {"idProduct", "2303"}}, "067b:2303"},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const std::string pty = NewPty();
        const std::string usb = "pci0000:00/usb" + std::to_string(k) + "/1-1";
        SysfsDevice(pty, usb + "/1-1:1.0/ttyUSB0");
        for (const auto& [name, value] : cases[k].attributes)
            Write("sys/devices/" + usb + "/" + name, std::string(value) + "\n");
        EXPECT_EQ(port_survey::UsbDescription(StatOf(pty).st_rdev, roots_.sys), cases[k].description);
    }
    const std::string uart = NewPty();
    SysfsDevice(uart, "pnp0/00:00/ttyS0");
    EXPECT_EQ(port_survey::UsbDescription(StatOf(uart).st_rdev, roots_.sys), "") << "no USB device above it";
}

TEST_F(DeviceTest, EachDevicePresentIsListedOnceWithItsStableNameAndPort)
{
    const std::string adapter = NewPty(), modem = NewPty(), uart = NewPty(), noUart = NewPty(),
                      unknown = NewPty(), renamed = NewPty();
    Link("dev/ttyUSB0", adapter);
    Link("dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0", "../../ttyUSB0");
    Link("dev/ttyACM0", modem);
    Link("dev/ttyS0", uart);
    Write(SysfsDevice(uart, "pnp0/00:00/ttyS0") + "/type", "4\n");
    Link("dev/ttyS1", noUart);
    Write(SysfsDevice(noUart, "platform/serial8250/ttyS1") + "/type", "0\n");
    Link("dev/ttyS2", unknown);
    Link("dev/serial/by-id/usb-Maker_Renamed-if00", renamed);
    Link("dev/serial/by-id/usb-Unplugged-if00", Path("dev/ttyUSB9"));
    Link("devices/com3", Path("dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"));
    Link("devices/com5", Path("dev/ttyUSB0"));

    const std::vector<port_survey::SerialDevice> devices =
        port_survey::ListSerialDevices(roots_, port_survey::SurveyPorts(roots_));
    struct Expected {
        std::string path, stableName, mappedAs;
    };
    const std::vector<Expected> expected = {
        {renamed, Path("dev/serial/by-id/usb-Maker_Renamed-if00"), ""},
        {Path("dev/ttyACM0"), "", ""},
        {Path("dev/ttyS0"), "", ""},
        {Path("dev/ttyUSB0"), Path("dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"), "COM3, COM5"},
    };
    ASSERT_EQ(devices.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(expected[k].path);
        EXPECT_EQ(devices[k].path, expected[k].path);
        EXPECT_EQ(devices[k].stableName, expected[k].stableName);
        EXPECT_EQ(devices[k].mappedAs, expected[k].mappedAs);
    }
}

} // namespace
} // namespace survey_test
