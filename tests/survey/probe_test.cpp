// Each status a port can have, with the advice that goes with it, seen
// through the port's QUORVEL_DEVICES link as a user's script would.
#include "device_probe.h"
#include "survey_fixture.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace survey_test {
namespace {

using port_survey::PortStatus;

class ProbeTest : public SurveyTest {
  protected:
    port_survey::PortRow Survey(const std::string& target)
    {
        Link("devices/com2", target);
        return port_survey::SurveyPort(2, roots_);
    }

  public:
    // A pseudo-terminal that sysfs shows as a UART port of the given type
    // (0: no UART behind it).
    std::string UartPort(const char* type)
    {
        const std::string pty = NewPty();
        Write(SysfsDevice(pty, "platform/serial8250/ttyS1") + "/type", type);
        return pty;
    }
};

struct StatusCase {
    const char* name;
    std::string (*target)(ProbeTest& test); // what com2 links to
    PortStatus status;
    const char* advice; // a piece of the advice
};

const StatusCase StatusCases[] = {
    {"a free pseudo-terminal", [](ProbeTest& test) { return test.NewPty(); }, PortStatus::Ready,
     "quorvel('Open', vantrel('COM2')) can open it"},
    {"a link to nothing", [](ProbeTest& test) { return test.Path("gone/ttyUSB0"); }, PortStatus::BrokenLink,
     "gone/ttyUSB0, which is not there: plug the adapter in"},
    {"a regular file",
     [](ProbeTest& test) {
         test.Write("plain", "");
         return test.Path("plain");
     },
     PortStatus::NotATty, "plain is a regular file, not a serial port"},
    {"a folder", [](ProbeTest& test) { return test.Path("sys"); }, PortStatus::NotATty, "sys is a folder"},
    {"a character device that is not a tty", [](ProbeTest&) { return std::string("/dev/null"); },
     PortStatus::NotATty, "/dev/null is a character device but not a tty"},
    {"a UART port with no UART behind it", [](ProbeTest& test) { return test.UartPort("0\n"); },
     PortStatus::Missing, "has no serial port behind it"},
    {"a UART port with a UART behind it", [](ProbeTest& test) { return test.UartPort("4\n"); },
     PortStatus::Ready, "can open it"},
};

TEST_F(ProbeTest, EachKindOfDeviceHasItsStatusAndAdvice)
{
    for (const StatusCase& c : StatusCases) {
        SCOPED_TRACE(c.name);
        unlink(Path("devices/com2").c_str());
        const port_survey::PortRow row = Survey(c.target(*this));
        EXPECT_EQ(row.status, c.status);
        EXPECT_NE(row.advice.find(c.advice), std::string::npos) << row.advice;
    }
}

TEST_F(ProbeTest, APortWithNoDeviceNodeIsMissing)
{
    port_survey::PortRow row;
    row.port = "COM2";
    row.device = Path("nothing");
    const port_survey::Probe probe = port_survey::ProbePort(row, roots_, {});
    EXPECT_EQ(probe.status, PortStatus::Missing);
    EXPECT_NE(probe.advice.find("There is no " + Path("nothing")), std::string::npos) << probe.advice;
}

TEST_F(ProbeTest, ALockNamesItsHolder)
{
    const std::string pty = NewPty();
    const struct stat node = StatOf(pty);
    FakeProc();
    Write("proc/4242/comm", "minicom\n");
    Write("proc/locks", "1: POSIX  ADVISORY  WRITE 77 00:1a:99 0 EOF\n"
                        "2: -> FLOCK  ADVISORY  WRITE 5150 " +
                            LockedNode(node) + " 0 EOF\n" + "3: FLOCK  ADVISORY  WRITE 4242 " +
                            LockedNode(node) + " 0 EOF\n");
    const port_survey::PortRow row = Survey(pty);
    EXPECT_EQ(row.status, PortStatus::Busy);
    EXPECT_NE(row.advice.find("Held by minicom (PID 4242): close it there first."), std::string::npos)
        << row.advice;
    EXPECT_EQ(row.advice.find("5150"), std::string::npos) << "a waiter holds nothing: " << row.advice;
}

// The claim the module's own Open makes, seen in the real /proc.
TEST_F(ProbeTest, ThePortThisProcessLockedIsBusyHere)
{
    const std::string pty = NewPty();
    const int held = open(pty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    const port_survey::PortRow busy = Survey(pty);
    EXPECT_EQ(busy.status, PortStatus::Busy);
    EXPECT_NE(busy.advice.find("This session holds it"), std::string::npos) << busy.advice;

    flock(held, LOCK_UN);
    const port_survey::PortRow shared = port_survey::SurveyPort(2, roots_);
    EXPECT_EQ(shared.status, PortStatus::Ready) << "open without a claim does not stop another open";
    EXPECT_NE(shared.advice.find("this session (PID " + std::to_string(getpid()) + ") has it open too"),
              std::string::npos)
        << shared.advice;
    close(held);
}

TEST_F(ProbeTest, ReadyNamesEachProgramThatHasItOpenToo)
{
    const std::string pty = NewPty();
    FakeProc();
    // /proc lists processes in no promised order.
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{"minicom"}, "minicom (PID 101) has it open too"},
        {{"minicom", "screen"}, ") have it open too"},
    };
    for (const auto& [names, advice] : cases) {
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string process = "proc/" + std::to_string(101 + k);
            Write(process + "/comm", std::string(names[k]) + "\n");
            unlink(Path(process + "/fd/3").c_str());
            Link(process + "/fd/3", pty);
        }
        unlink(Path("devices/com2").c_str());
        const port_survey::PortRow row = Survey(pty);
        EXPECT_EQ(row.status, PortStatus::Ready);
        EXPECT_NE(row.advice.find(advice), std::string::npos) << row.advice;
        for (std::size_t k = 0; k < names.size(); ++k)
            EXPECT_NE(row.advice.find(std::string(names[k]) + " (PID " + std::to_string(101 + k) + ")"),
                      std::string::npos)
                << row.advice;
    }
}

// Runs the probe of com2 as user nobody in a child, which returns the advice
// for "no access" or a note of what it got instead.
std::string AdviceForNobody(const port_survey::SurveyRoots& roots)
{
    int channel[2];
    if (pipe(channel) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string advice = "setuid failed";
        if (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0) {
            const port_survey::PortRow row = port_survey::SurveyPort(2, roots);
            advice = row.status == PortStatus::NoAccess ? row.advice
                                                        : "status " + std::string(StatusName(row.status));
        }
        static_cast<void>(write(channel[1], advice.data(), advice.size()));
        _exit(0);
    }
    close(channel[1]);
    std::string advice;
    char chunk[256];
    for (ssize_t got; (got = read(channel[0], chunk, sizeof chunk)) > 0;)
        advice.append(chunk, static_cast<std::size_t>(got));
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return advice;
}

TEST_F(ProbeTest, NoAccessSaysWhichGroupToJoinOrWhoToAsk)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to probe as another user";
    const group* dialout = getgrgid(20);
    if (dialout == nullptr)
        GTEST_SKIP() << "needs a group 20, as Debian's dialout";
    const std::string group = dialout->gr_name;
    const std::string pty = NewPty();
    Link("devices/com2", pty);
    chmod(root_.c_str(), 0755);
    ASSERT_EQ(chown(pty.c_str(), 0, 20), 0);
    ASSERT_EQ(chmod(pty.c_str(), 0660), 0);
    EXPECT_NE(AdviceForNobody(roots_).find(pty + " belongs to group " + group + ": run 'sudo usermod -aG " +
                                           group + " nobody', then log out and in again."),
              std::string::npos)
        << AdviceForNobody(roots_);

    ASSERT_EQ(chmod(pty.c_str(), 0600), 0);
    EXPECT_NE(AdviceForNobody(roots_).find(pty + " does not let you read and write it (mode 0600)"),
              std::string::npos)
        << AdviceForNobody(roots_);
}

} // namespace
} // namespace survey_test
