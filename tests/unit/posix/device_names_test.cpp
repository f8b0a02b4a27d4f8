// Where COMn leads on Linux: the devices folder, then the config folder, then
// the UART of the same number, first match wins.
#include "posix/device_names.h"
#include "scoped_variable.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace posix_serial {
namespace {

namespace fs = std::filesystem;

TEST(DeviceNamesTest, OnlyComAndADecimalNumberNameAPort)
{
    const std::pair<const char*, unsigned long> cases[] = {
        {"COM3", 3},  {"com12", 12}, {"\\\\.\\COM4", 4}, {"COM", 0},   {"COM0", 0},
        {"COM3x", 0}, {"COM-1", 0},  {"LPT1", 0},        {"xCOM1", 0},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(PortNumber(name), number) << name;
}

// Points QUORVEL_DEVICES, XDG_CONFIG_HOME and HOME at folders of its own for
// the test, and puts them back after.
class NameFolders : public ::testing::Test {
  protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("quorvel-names-" + std::to_string(getpid()));
        fs::create_directories(root_ / "devices");
        fs::create_directories(root_ / "config" / "quorvel");
        devices_.Set(root_ / "devices");
        config_.Set(root_ / "config");
    }

    void TearDown() override { fs::remove_all(root_); }

    // A link to a device that need not exist: a dangling link still claims the port.
    std::string Link(const char* folder, const char* name)
    {
        fs::path link = root_ / folder / name;
        fs::create_symlink("/dev/quorvel-no-such-device", link);
        return link.string();
    }

    fs::path root_;
    ScopedVariable devices_{"QUORVEL_DEVICES"};
    ScopedVariable config_{"XDG_CONFIG_HOME"};
    ScopedVariable home_{"HOME"}; // a test changes it
};

TEST_F(NameFolders, TheFirstFolderHoldingALinkWins)
{
    const std::string inConfig = Link("config/quorvel", "com2");
    const std::string inDevices = Link("devices", "com3");
    Link("config/quorvel", "com3");
    EXPECT_EQ(ResolvePort(2).path, inConfig);
    EXPECT_EQ(ResolvePort(2).source, NameSource::ConfigFolder);
    EXPECT_EQ(ResolvePort(3).path, inDevices);
    EXPECT_EQ(ResolvePort(3).source, NameSource::DevicesVariable);
    EXPECT_EQ(ResolvePort(4).path, "/dev/ttyS3");
    EXPECT_EQ(ResolvePort(4).source, NameSource::Default);
    EXPECT_EQ(ResolveDevicePath("com3"), inDevices);
    EXPECT_EQ(ResolveDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0") << "a path names the device itself";
    EXPECT_EQ(ResolveDevicePath("LPT1"), "");
}

TEST_F(NameFolders, TheConfigFolderFallsBackToHome)
{
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", root_.c_str(), 1);
    EXPECT_EQ(ConfigLinkFolder(), (root_ / ".config" / "quorvel").string());
    unsetenv("HOME");
    EXPECT_EQ(ConfigLinkFolder(), "");
    EXPECT_EQ(ResolvePort(1).source, NameSource::Default) << "no config folder: no link to find";
}

} // namespace
} // namespace posix_serial
