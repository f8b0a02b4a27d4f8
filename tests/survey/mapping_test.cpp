// Mapping a port by a link in the config folder, and the mappings refused.
#include "port_mapping.h"
#include "survey_fixture.h"

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace survey_test {
namespace {

using port_survey::MapPort;

class MappingTest : public SurveyTest {
  protected:
    void SetUp() override
    {
        SurveyTest::SetUp();
        unsetenv("QUORVEL_DEVICES");
        // The folder is made by the first mapping.
        setenv("XDG_CONFIG_HOME", Path("fresh/config").c_str(), 1);
    }

    std::string ConfigLink(int port) const { return Path("fresh/config/quorvel/com" + std::to_string(port)); }

    std::string LinkTarget(int port) const
    {
        std::error_code missing;
        return std::filesystem::read_symlink(ConfigLink(port), missing).string();
    }
};

TEST_F(MappingTest, MappingLinksThePortAndTheModuleResolvesItThere)
{
    const std::string first = NewPty(), second = NewPty();
    const port_survey::Mapping mapping = MapPort("com3", first);
    EXPECT_EQ(mapping.refusal, "");
    EXPECT_EQ(mapping.number, 3u);
    EXPECT_EQ(LinkTarget(3), first);
    port_survey::PortRow row = port_survey::SurveyPort(3, roots_);
    EXPECT_EQ(row.device, ConfigLink(3));
    EXPECT_EQ(row.source, "config");
    EXPECT_EQ(row.status, port_survey::PortStatus::Ready);

    EXPECT_EQ(MapPort("COM3", second).refusal, "");
    EXPECT_EQ(LinkTarget(3), second) << "a mapping replaces the link";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("fresh/config/quorvel")), {}), 1)
        << "nothing is left beside the link";

    EXPECT_EQ(MapPort("COM3", "").refusal, "");
    EXPECT_FALSE(std::filesystem::is_symlink(ConfigLink(3)));
    row = port_survey::SurveyPort(3, roots_);
    EXPECT_EQ(row.device, "/dev/ttyS2");
    EXPECT_EQ(row.source, "default");
    EXPECT_EQ(MapPort("COM3", "").refusal, "") << "removing no mapping is no error";
}

TEST_F(MappingTest, ANetworkPortIsMappedByItsAddressAndListedWithoutConnecting)
{
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string server = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    EXPECT_EQ(MapPort("COM4", server).refusal, "");
    EXPECT_EQ(LinkTarget(4), server);
    const port_survey::PortRow row = port_survey::SurveyPort(4, roots_);
    EXPECT_EQ(row.device, server);
    EXPECT_EQ(row.source, "config");
    EXPECT_EQ(row.status, port_survey::PortStatus::Network);
    EXPECT_LT(accept(listener, nullptr, nullptr), 0) << "the survey connected to the server";
    close(listener);
}

TEST_F(MappingTest, ALinkToAnUnpluggedAdapterCanBeReplacedAndRemoved)
{
    std::filesystem::create_directories(Path("fresh/config/quorvel"));
    std::filesystem::create_symlink(Path("dev/serial/by-id/usb-Gone"), ConfigLink(4));
    EXPECT_EQ(port_survey::SurveyPort(4, roots_).status, port_survey::PortStatus::BrokenLink);
    const std::string pty = NewPty();
    EXPECT_EQ(MapPort("COM4", pty).refusal, "");
    EXPECT_EQ(LinkTarget(4), pty);
    EXPECT_EQ(MapPort("COM4", "").refusal, "");
    EXPECT_FALSE(std::filesystem::is_symlink(ConfigLink(4)));
}

struct Refusal {
    const char* port;
    std::string target;
    std::string message;
};

TEST_F(MappingTest, RefusalsChangeNothingAndSayWhy)
{
    const std::string pty = NewPty();
    Write("plain", "");
    Write("fresh/config/quorvel/com6", "not a link");
    const Refusal refusals[] = {
        {"COM9", pty, "The port must be one of COM1 to COM8, not 'COM9'."},
        {"COM0", pty, "The port must be one of COM1 to COM8, not 'COM0'."},
        {"LPT1", pty, "The port must be one of COM1 to COM8, not 'LPT1'."},
        {"COM2", Path("plain"), "'" + Path("plain") + "' is not a character device."},
        {"COM2", Path("dev"), "'" + Path("dev") + "' is not a character device."},
        {"COM2", Path("dev/ttyUSB7"), "'" + Path("dev/ttyUSB7") + "' is not a character device."},
        {"COM2", "ttyUSB0", "Give the device by its absolute path or as rfc2217://host:port, not 'ttyUSB0'."},
        {"COM2", "rfc2217://lab-gw", "Give the network port as rfc2217://host:port, not 'rfc2217://lab-gw'."},
        {"COM2", "/dev/null",
         "'/dev/null' is a character device but not a tty: only serial ports are opened."},
        {"COM6", pty, "" + ConfigLink(6) + " is not a link; move it away first."},
        {"COM6", "", "" + ConfigLink(6) + " is not a link; move it away first."},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(std::string(refusal.port) + " " + refusal.target);
        EXPECT_EQ(MapPort(refusal.port, refusal.target).refusal, refusal.message);
    }
    EXPECT_EQ(LinkTarget(2), "");
    EXPECT_TRUE(std::filesystem::is_regular_file(ConfigLink(6)));

    setenv("QUORVEL_DEVICES", Path("devices").c_str(), 1);
    for (const std::string& target : {pty, std::string()})
        EXPECT_EQ(
            MapPort("COM2", target).refusal,
            "QUORVEL_DEVICES is set (" + Path("devices") +
                ") and its links win over the config folder: change the link there, or unset it first.");
    EXPECT_EQ(LinkTarget(2), "");

    unsetenv("QUORVEL_DEVICES");
    unsetenv("XDG_CONFIG_HOME");
    const std::string home = std::getenv("HOME") == nullptr ? "" : std::getenv("HOME");
    unsetenv("HOME");
    EXPECT_EQ(MapPort("COM2", pty).refusal,
              "Neither XDG_CONFIG_HOME nor HOME is set, so there is no config folder for the link.");
    if (!home.empty())
        setenv("HOME", home.c_str(), 1);
}

} // namespace
} // namespace survey_test
