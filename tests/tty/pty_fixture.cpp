#include "pty_fixture.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace tty_test {
namespace {

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

extern "C" void ReportHang(int)
{
    const char message[] = "\nwatchdog: a tty test hung\n";
    static_cast<void>(write(STDERR_FILENO, message, sizeof message - 1));
    _exit(3);
}

} // namespace

PseudoTerminal::PseudoTerminal()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        Fail("posix_openpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        Fail("ptsname_r");
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0)
        Fail("open slave");
    int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal()
{
    CloseMaster();
    close(slave_);
}

void SendAll(int fd, const Bytes& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t written = write(fd, bytes.data() + sent, bytes.size() - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (errno != EAGAIN)
            Fail("write");
        pollfd ready{fd, POLLOUT, 0};
        poll(&ready, 1, 100);
    }
}

Bytes ReceiveUpTo(int fd, std::size_t count, milliseconds limit)
{
    Bytes received;
    const auto end = std::chrono::steady_clock::now() + limit;
    std::uint8_t chunk[65536];
    while (received.size() < count) {
        ssize_t got = read(fd, chunk, std::min(sizeof chunk, count - received.size()));
        if (got > 0) {
            received.insert(received.end(), chunk, chunk + got);
            continue;
        }
        auto left = std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (got < 0 && errno != EAGAIN))
            break;
        pollfd ready{fd, POLLIN, 0};
        poll(&ready, 1, static_cast<int>(left.count()));
    }
    return received;
}

void PseudoTerminal::Send(const Bytes& bytes)
{
    SendAll(master_, bytes);
}

Bytes PseudoTerminal::Receive(std::size_t count, milliseconds limit)
{
    return ReceiveUpTo(master_, count, limit);
}

std::size_t PseudoTerminal::WaitingAtSlave() const
{
    int waiting = 0;
    return ioctl(slave_, FIONREAD, &waiting) == 0 ? static_cast<std::size_t>(waiting) : 0;
}

void PseudoTerminal::CloseMaster()
{
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

DeviceFolder::DeviceFolder()
{
    char pattern[] = "/tmp/quorvel-tty-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        Fail("mkdtemp");
    root_ = pattern;
    std::filesystem::create_directories(root_ + "/devices");
    std::filesystem::create_directories(root_ + "/config/quorvel");
    devices_.Set(root_ + "/devices");
    config_.Set(root_ + "/config");
}

DeviceFolder::~DeviceFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void DeviceFolder::Link(int port, const std::string& target)
{
    std::filesystem::create_symlink(target, root_ + "/devices/com" + std::to_string(port));
}

void DeviceFolder::LinkInConfig(int port, const std::string& target)
{
    std::filesystem::create_symlink(target, root_ + "/config/quorvel/com" + std::to_string(port));
}

std::string DeviceFolder::TempFile(const std::string& name)
{
    std::string path = root_ + "/" + name;
    int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        Fail("create " + path);
    close(fd);
    return path;
}

Watchdog::Watchdog(unsigned seconds)
{
    signal(SIGALRM, ReportHang);
    alarm(seconds);
}

Watchdog::~Watchdog()
{
    alarm(0);
}

bool WaitUntil(const std::function<bool()>& condition, milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

Bytes Pattern(std::size_t count, std::uint8_t seed)
{
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    return bytes;
}

} // namespace tty_test
