#include "device_fixture.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace tty_test {
namespace {

using OpenTest = DeviceTest;

HANDLE TryOpen(const char* name, DWORD flags = FILE_FLAG_OVERLAPPED, DWORD creation = OPEN_EXISTING)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, creation, flags, nullptr);
}

TEST_F(OpenTest, WindowsSpellingsOfThePortNameAllOpenIt)
{
    for (const char* name : {"COM1", "com1", "\\\\.\\COM1"}) {
        OpenPort(name);
        ClosePort();
    }
}

TEST_F(OpenTest, ASecondOpenIsRefusedAsBusyUntilTheFirstCloses)
{
    OpenPort();
    for (const std::string& name : {std::string("COM1"), pty_.SlavePath()}) {
        SetLastError(0);
        EXPECT_EQ(TryOpen(name.c_str()), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << name;
    }
    ClosePort();
    OpenPort();
}

TEST_F(OpenTest, AnotherProcessCannotOpenAPortThatIsOpen)
{
    OpenPort();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE handle = TryOpen("COM1");
        _exit(handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child opened the port or failed oddly";
}

TEST_F(OpenTest, RefusedOpensReportWhy)
{
    folder_.Link(2, "/nonexistent/quorvel-device");
    folder_.Link(3, folder_.TempFile("plain-file"));
    struct Case {
        const char* name;
        DWORD flags;
        DWORD creation;
        DWORD error;
    } cases[] = {
        {"COM2", FILE_FLAG_OVERLAPPED, OPEN_EXISTING, ERROR_FILE_NOT_FOUND}, // a link to nothing
        {"/nonexistent/tty", FILE_FLAG_OVERLAPPED, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"LPT1", FILE_FLAG_OVERLAPPED, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"COM0", FILE_FLAG_OVERLAPPED, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"COM1x", FILE_FLAG_OVERLAPPED, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"COM3", FILE_FLAG_OVERLAPPED, OPEN_EXISTING, ERROR_NOT_SUPPORTED}, // not a tty
        {"COM1", 0, OPEN_EXISTING, ERROR_INVALID_PARAMETER},                // only overlapped I/O
        {"COM1", FILE_FLAG_OVERLAPPED, 2 /* CREATE_ALWAYS */, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(TryOpen(c.name, c.flags, c.creation), INVALID_HANDLE_VALUE) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
}

// A node of its own for a character device, watched for opens: an open of
// the device through any other node (another process's) does not count.
class WatchedNode {
  public:
    WatchedNode(const std::string& path, dev_t device) : path_(path)
    {
        created_ = mknod(path.c_str(), S_IFCHR | 0666, device) == 0;
        watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (created_)
            inotify_add_watch(watch_, path.c_str(), IN_OPEN);
    }
    ~WatchedNode() { close(watch_); }
    WatchedNode(const WatchedNode&) = delete;
    WatchedNode& operator=(const WatchedNode&) = delete;

    bool Created() const { return created_; }
    const std::string& Path() const { return path_; }
    bool OpenedSinceLastAsked()
    {
        char events[4096];
        bool opened = false;
        while (read(watch_, events, sizeof events) > 0)
            opened = true;
        return opened;
    }

  private:
    std::string path_;
    bool created_ = false;
    int watch_ = -1;
};

TEST_F(OpenTest, ACharacterDeviceThatIsNoTtyIsRefusedUnopened)
{
    const std::string folder = std::getenv("QUORVEL_DEVICES");
    WatchedNode null(folder + "/null", makedev(1, 3)), zero(folder + "/zero", makedev(1, 5));
    if (!null.Created() || !zero.Created())
        GTEST_SKIP() << "needs the right to make device nodes";
    folder_.Link(2, zero.Path());
    for (const std::string& name : {std::string("COM2"), null.Path(), zero.Path()}) {
        SetLastError(0);
        EXPECT_EQ(TryOpen(name.c_str()), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED) << name;
    }
    EXPECT_FALSE(null.OpenedSinceLastAsked());
    EXPECT_FALSE(zero.OpenedSinceLastAsked());

    close(open(zero.Path().c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_TRUE(zero.OpenedSinceLastAsked()) << "the watch sees an open";
}

// The far end that received `probe` is the device the name led to.
bool LeadsTo(const char* name, PseudoTerminal& far, const Bytes& probe)
{
    HANDLE handle = TryOpen(name);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool written = WriteFile(handle, probe.data(), static_cast<DWORD>(probe.size()), nullptr, &overlapped) &&
                   WaitForSingleObject(overlapped.hEvent, 1000) == WAIT_OBJECT_0;
    CloseHandle(handle);
    CloseHandle(overlapped.hEvent);
    return written && far.Receive(probe.size(), milliseconds(1000)) == probe;
}

TEST_F(OpenTest, TheDeviceFolderComesBeforeTheConfigFolder)
{
    PseudoTerminal configured;
    PseudoTerminal preferred;
    folder_.LinkInConfig(4, configured.SlavePath());
    EXPECT_TRUE(LeadsTo("COM4", configured, {'c', 'f', 'g'}));
    folder_.Link(4, preferred.SlavePath());
    EXPECT_TRUE(LeadsTo("COM4", preferred, {'d', 'e', 'v'}));
}

TEST_F(OpenTest, OpeningLeavesTheTtyRawAndReportsItsState)
{
    termios before{};
    ASSERT_EQ(tcgetattr(pty_.Slave(), &before), 0);
    ASSERT_TRUE(before.c_lflag & ICANON) << "a new pseudo-terminal starts cooked";
    SplitRates(pty_.Slave(), 250000, 9600);
    OpenPort();
    termios raw{};
    ASSERT_EQ(tcgetattr(pty_.Slave(), &raw), 0);
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(raw.c_oflag & OPOST, 0u);
    EXPECT_EQ(raw.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP | INPCK), 0u);
    EXPECT_EQ(raw.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(raw.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));

    DCB state{};
    ASSERT_TRUE(GetCommState(port_, &state));
    EXPECT_EQ(state.BaudRate, 9600u) << "the output speed is kept";
    EXPECT_EQ(InputRateOf(pty_.Slave()), 9600u) << "the input speed follows it";
    EXPECT_EQ(state.ByteSize, 8);
    EXPECT_EQ(state.Parity, NOPARITY);
    EXPECT_EQ(state.StopBits, ONESTOPBIT);
    EXPECT_EQ(state.fOutX | state.fInX | state.fOutxCtsFlow, 0u);
}

} // namespace
} // namespace tty_test
