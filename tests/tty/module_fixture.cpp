#include "module_fixture.h"

#include "kernel_testing.h"

#include <vector>

namespace tty_test {
namespace {

using test_host::CallResult;

// The status a command left at output position `position` (1-based).
int StatusAt(const CallResult& result, std::size_t position)
{
    EXPECT_FALSE(result.aborted) << result.message;
    if (result.aborted || result.outputs.size() < position || !result.outputs[position - 1])
        return -1;
    return static_cast<int>(test_host::NumberOf(result.outputs[position - 1].get()));
}

CallResult Quorvel(int nlhs, const std::vector<const mxArray*>& arguments)
{
    return test_host::Call(mexFunction, nlhs, arguments);
}

int OneOutputCommand(const char* command, const ArrayPtr& settings)
{
    return StatusAt(Quorvel(1, {test_host::Text(command).get(), settings.get()}), 1);
}

ReadOutcome ReadOf(const CallResult& result)
{
    ReadOutcome outcome{{}, StatusAt(result, 2), 0, 0};
    if (!result.aborted && result.outputs[0]) {
        outcome.bytes = test_host::BytesOf(result.outputs[0].get());
        outcome.rows = mxGetM(result.outputs[0].get());
        outcome.columns = mxGetN(result.outputs[0].get());
    }
    return outcome;
}

QueueOutcome QueueOf(const CallResult& result)
{
    QueueOutcome outcome{-1, StatusAt(result, 2)};
    if (!result.aborted && result.outputs[0] && mxGetNumberOfElements(result.outputs[0].get()) == 1)
        outcome.waiting = test_host::NumberOf(result.outputs[0].get());
    return outcome;
}

} // namespace

void ModuleCalls::SetUp()
{
    test_host::Reset();
}

void ModuleTest::SetUp()
{
    ModuleCalls::SetUp();
    folder_.Link(1, com1_.SlavePath());
    folder_.Link(2, com2_.SlavePath());
}

void ModuleCalls::TearDown()
{
    CallResult closeAll = Quorvel(0, {test_host::Text("CloseAll").get()});
    EXPECT_FALSE(closeAll.aborted) << closeAll.message;
    EXPECT_EQ(test_host::LockCount(), 0);
    EXPECT_EQ(test_host::PersistentBlockCount(), 0) << "host memory of writes outlived CloseAll";
    EXPECT_EQ(kernel::LiveObjectCount(), 0u) << "an event or device handle leaked";
    EXPECT_EQ(test_host::MisuseCount(), 0);
}

ArrayPtr ModuleCalls::Settings(const std::string& port)
{
    CallResult defaults = Quorvel(1, {test_host::Text("GetParams").get(), test_host::Text("default").get()});
    EXPECT_FALSE(defaults.aborted) << defaults.message;
    ArrayPtr settings = std::move(defaults.outputs[0]);
    Set(settings, "Port", test_host::Text(port));
    Set(settings, "ReadTimeout", test_host::Number(0.1));
    return settings;
}

void ModuleCalls::Set(const ArrayPtr& settings, const std::string& property, ArrayPtr value)
{
    test_host::SetField(settings.get(), 0, property, std::move(value));
}

int ModuleCalls::Open(const ArrayPtr& settings)
{
    return StatusAt(Quorvel(2, {test_host::Text("Open").get(), settings.get()}), 2);
}

int ModuleCalls::SetParams(const ArrayPtr& settings)
{
    return StatusAt(Quorvel(2, {test_host::Text("SetParams").get(), settings.get()}), 2);
}

ParamsOutcome ModuleCalls::GetParams(const ArrayPtr& settings)
{
    CallResult result = Quorvel(2, {test_host::Text("GetParams").get(), settings.get()});
    const int status = StatusAt(result, 2);
    return {result.aborted ? nullptr : std::move(result.outputs[0]), status};
}

int ModuleCalls::Close(const ArrayPtr& settings)
{
    return OneOutputCommand("Close", settings);
}

int ModuleCalls::Write(const ArrayPtr& settings, const Bytes& bytes)
{
    ArrayPtr data = test_host::Uint8Row(bytes);
    return StatusAt(Quorvel(1, {test_host::Text("Write").get(), settings.get(), data.get()}), 1);
}

ReadOutcome ModuleCalls::Read(const ArrayPtr& settings)
{
    return ReadOf(Quorvel(2, {test_host::Text("Read").get(), settings.get()}));
}

ReadOutcome ModuleCalls::Read(const ArrayPtr& settings, double count)
{
    ArrayPtr countArray = test_host::Number(count);
    return ReadOf(Quorvel(2, {test_host::Text("Read").get(), settings.get(), countArray.get()}));
}

QueueOutcome ModuleCalls::WriteStatus(const ArrayPtr& settings)
{
    return QueueOf(Quorvel(2, {test_host::Text("GetWriteStatus").get(), settings.get()}));
}

QueueOutcome ModuleCalls::ReadStatus(const ArrayPtr& settings)
{
    return QueueOf(Quorvel(2, {test_host::Text("GetReadStatus").get(), settings.get()}));
}

int ModuleCalls::FlushRead(const ArrayPtr& settings)
{
    return OneOutputCommand("FlushRead", settings);
}

int ModuleCalls::FlushWrite(const ArrayPtr& settings)
{
    return OneOutputCommand("FlushWrite", settings);
}

int ModuleCalls::DiscardWrites(const ArrayPtr& settings)
{
    ArrayPtr mode = test_host::Text("discard");
    return StatusAt(Quorvel(1, {test_host::Text("FlushWrite").get(), settings.get(), mode.get()}), 1);
}

void ModuleTest::AwaitAtPort(PseudoTerminal& pty, std::size_t count)
{
    ASSERT_TRUE(WaitUntil([&] { return pty.WaitingAtSlave() >= count; }, milliseconds(2000)))
        << pty.WaitingAtSlave() << " of " << count << " bytes arrived";
}

} // namespace tty_test
