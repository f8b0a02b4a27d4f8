#include "driver_fixture.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

namespace driver_test {
namespace {

constexpr unsigned LineControlRegister = 3;
constexpr unsigned ModemControlRegister = 4;
constexpr std::uint8_t DivisorLatchAccess = 0x80;

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

SerialInfo SerialInfoOf(const std::string& device)
{
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail("open " + device);
    serial_struct serial{};
    const int result = ioctl(fd, TIOCGSERIAL, &serial);
    close(fd);
    if (result != 0)
        return {};
    return {static_cast<unsigned>(serial.port), static_cast<unsigned>(serial.baud_base), serial.type};
}

UartRegisters::UartRegisters(unsigned base) : base_(base)
{
    if (base != 0)
        fd_ = open("/dev/port", O_RDWR | O_CLOEXEC);
}

UartRegisters::~UartRegisters()
{
    if (fd_ >= 0)
        close(fd_);
}

std::uint8_t UartRegisters::Get(unsigned offset) const
{
    std::uint8_t value = 0;
    if (pread(fd_, &value, 1, base_ + offset) != 1)
        Fail("read /dev/port");
    return value;
}

void UartRegisters::Put(unsigned offset, std::uint8_t value) const
{
    if (pwrite(fd_, &value, 1, base_ + offset) != 1)
        Fail("write /dev/port");
}

std::uint8_t UartRegisters::LineControl() const
{
    return Get(LineControlRegister);
}

std::uint8_t UartRegisters::ModemControl() const
{
    return Get(ModemControlRegister);
}

unsigned UartRegisters::Divisor() const
{
    const std::uint8_t lineControl = Get(LineControlRegister);
    Put(LineControlRegister, lineControl | DivisorLatchAccess);
    const unsigned divisor = Get(0) | Get(1) << 8;
    Put(LineControlRegister, lineControl);
    return divisor;
}

RawTty::RawTty(const std::string& path)
{
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        Fail("open " + path);
    Configure(B9600, CS8);
}

RawTty::~RawTty()
{
    close(fd_);
}

void RawTty::Configure(speed_t speed, tcflag_t frame)
{
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0)
        Fail("tcgetattr");
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= frame | CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | INPCK);
    cfsetspeed(&settings, speed);
    if (tcsetattr(fd_, TCSANOW, &settings) != 0)
        Fail("tcsetattr");
}

void RawTty::Send(const Bytes& bytes)
{
    tty_test::SendAll(fd_, bytes);
}

Bytes RawTty::Receive(std::size_t count, milliseconds limit)
{
    return tty_test::ReceiveUpTo(fd_, count, limit);
}

void RawTty::DiscardInput()
{
    tcflush(fd_, TCIFLUSH);
}

std::unique_ptr<LaneControl> LaneControl::FromEnvironment()
{
    const std::string path = Variable("QUORVEL_DRIVER_CONTROL");
    return path.empty() ? nullptr : std::make_unique<LaneControl>(path);
}

std::string LaneControl::Ask(const std::string& request)
{
    line_.DiscardInput();
    const std::string line = request + "\n";
    line_.Send(Bytes(line.begin(), line.end()));
    std::string answer;
    while (answer.empty() || answer.back() != '\n') {
        const Bytes got = line_.Receive(1, milliseconds(20000));
        if (got.empty())
            return "no answer to " + request;
        answer.push_back(static_cast<char>(got[0]));
    }
    answer.pop_back();
    return answer;
}

void DriverTest::SetUp()
{
    ModuleCalls::SetUp();
    control_ = LaneControl::FromEnvironment();
}

void UartTest::SetUp()
{
    DriverTest::SetUp();
    const std::string uarts = Variable("QUORVEL_DRIVER_UARTS");
    const std::size_t colon = uarts.find(':');
    if (colon == std::string::npos)
        GTEST_SKIP()
            << "needs two UARTs joined by a null-modem cable: QUORVEL_DRIVER_UARTS=/dev/ttySa:/dev/ttySb";
    near_ = uarts.substr(0, colon);
    info_ = SerialInfoOf(near_);
    registers_ = std::make_unique<UartRegisters>(info_.ioBase);
    far_ = std::make_unique<RawTty>(uarts.substr(colon + 1));
    folder_.Link(1, near_);
}

void UsbTest::SetUp()
{
    DriverTest::SetUp();
    adapter_ = Variable("QUORVEL_DRIVER_USB");
    if (adapter_.empty())
        GTEST_SKIP() << "needs a USB serial adapter with a loopback plug: QUORVEL_DRIVER_USB=/dev/ttyUSBn";
    folder_.Link(3, adapter_);
}

void SetFrame(const test_host::ArrayPtr& settings, double byteSize, const char* parity, double stopBits)
{
    test_host::SetField(settings.get(), 0, "ByteSize", test_host::Number(byteSize));
    test_host::SetField(settings.get(), 0, "Parity", test_host::Text(parity));
    test_host::SetField(settings.get(), 0, "StopBits", test_host::Number(stopBits));
}

} // namespace driver_test
