// A USB serial adapter: bytes to its far end and back, the port survey's
// description of it, and an unplug in the middle of a write.
#include "driver_fixture.h"
#include "port_survey.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace driver_test {
namespace {

using std::chrono::steady_clock;
using test_host::ArrayPtr;

constexpr int Pending = 4, IoFailed = 64;

std::string Attribute(const std::string& folder, const char* name)
{
    std::ifstream file(folder + "/" + name);
    std::string value;
    std::getline(file, value);
    return value;
}

// The USB device above the adapter's tty: its interface's parent.
std::string UsbDeviceOf(const std::string& tty)
{
    const std::string name = std::filesystem::canonical(tty).filename();
    return std::filesystem::canonical("/sys/class/tty/" + name + "/device/../..");
}

TEST_F(UsbTest, EveryByteValueComesBackFromTheFarEndIntact)
{
    if (control_) {
        ASSERT_EQ(control_->Ask("echo"), "ok");
    }
    const ArrayPtr settings = Settings("COM3");
    Set(settings, "BaudRate", test_host::Number(115200));
    Set(settings, "ReadTimeout", test_host::Number(1));
    Set(settings, "WriteTimeout", test_host::Number(1));
    ASSERT_EQ(Open(settings), 0);
    Bytes values(256);
    for (unsigned v = 0; v < values.size(); ++v)
        values[v] = static_cast<std::uint8_t>(v);

    EXPECT_EQ(Write(settings, values), Pending);
    const tty_test::ReadOutcome got = Read(settings, values.size());
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.bytes, values);
    EXPECT_EQ(FlushWrite(settings), 0)
        << "bytes that came back have left; GetWriteStatus now answers " << WriteStatus(settings).status
        << " with " << WriteStatus(settings).waiting << " bytes queued";
}

TEST_F(UsbTest, ThePortSurveyNamesTheAdapterByMakerProductAndIds)
{
    const std::string usb = UsbDeviceOf(adapter_);
    const std::string maker = Attribute(usb, "manufacturer"), product = Attribute(usb, "product");
    const std::string ids = Attribute(usb, "idVendor") + ":" + Attribute(usb, "idProduct");
    const port_survey::PortRow row = port_survey::SurveyPort(3, port_survey::RootsFromEnvironment());
    std::cout << "COM3: " << row.description << "\n";
    EXPECT_EQ(row.status, port_survey::PortStatus::Ready);
    EXPECT_NE(row.description.find(maker + " " + product), std::string::npos) << row.description;
    EXPECT_NE(row.description.find(ids), std::string::npos) << row.description;
}

class UnplugTest : public UsbTest {
  protected:
    // Every command on the unplugged port answers 64, each within a second.
    template <typename Command> void ExpectLost(const char* name, Command command)
    {
        const auto started = steady_clock::now();
        EXPECT_EQ(command(), IoFailed) << name;
        EXPECT_LT(std::chrono::duration<double>(steady_clock::now() - started).count(), 1.0) << name;
    }

    // Opens COM3 and has the adapter pulled once 4 MiB of a 48 MiB write left
    // it: QEMU's adapter takes bytes as fast as they come, so the rest is
    // still on its way.
    void UnplugMidWrite(const ArrayPtr& settings)
    {
        ASSERT_EQ(Open(settings), 0) << "the adapter, plugged in";
        ASSERT_EQ(control_->Ask("unplug-after 4194304"), "ok");
        EXPECT_EQ(Write(settings, large_), Pending);
        ASSERT_TRUE(tty_test::WaitUntil([&] { return !Present(); }, milliseconds(10000)))
            << "the adapter was not unplugged";
    }

    void Replug()
    {
        ASSERT_EQ(control_->Ask("replug"), "ok");
        ASSERT_TRUE(tty_test::WaitUntil([&] { return Present(); }, milliseconds(5000)))
            << adapter_ << " did not come back";
    }

    bool Present() const
    {
        struct stat node {};
        return stat(adapter_.c_str(), &node) == 0;
    }

    const Bytes large_ = Bytes(48 << 20, 0x55);
};

TEST_F(UnplugTest, AnAdapterUnpluggedMidWriteAnswers64AndOpensAgainOnceBack)
{
    if (!control_)
        GTEST_SKIP() << "needs the lane's host to unplug the adapter (QUORVEL_DRIVER_CONTROL)";
    ASSERT_EQ(control_->Ask("sink"), "ok"); // an echo would stall the adapter
    const ArrayPtr settings = Settings("COM3");

    UnplugMidWrite(settings);
    ExpectLost("FlushWrite", [&] { return FlushWrite(settings); });
    ExpectLost("GetWriteStatus", [&] { return WriteStatus(settings).status; });
    ExpectLost("GetReadStatus", [&] { return ReadStatus(settings).status; });
    ExpectLost("Write", [&] { return Write(settings, {1, 2, 3}); });
    ExpectLost("Read", [&] { return Read(settings, 10).status; });
    EXPECT_EQ(Close(settings), 0) << "nothing left in flight";
    Replug();

    UnplugMidWrite(settings);
    ExpectLost("Close", [&] { return Close(settings); });
    Replug();

    EXPECT_EQ(Open(settings), 0) << "the replugged adapter";
    EXPECT_EQ(Close(settings), 0);
    EXPECT_EQ(control_->Ask("echo"), "ok");
}

} // namespace
} // namespace driver_test
