#include "sweep_fixture.h"

#include <limits>

namespace sweep {

CallResult Quorvel(int nlhs, const Arguments& arguments)
{
    std::vector<const mxArray*> pointers;
    for (const ArrayPtr& argument : arguments)
        pointers.push_back(argument.get());
    return Call(mexFunction, nlhs, pointers);
}

ArrayPtr Settings(const std::string& port)
{
    CallResult defaults = Quorvel(1, Args(Text("GetParams"), Text("default")));
    EXPECT_FALSE(defaults.aborted) << defaults.message;
    ArrayPtr settings = std::move(defaults.outputs[0]);
    Set(settings, "Port", Text(port));
    Set(settings, "ReadTimeout", Number(0.02));
    Set(settings, "WriteTimeout", Number(1));
    return settings;
}

void Set(const ArrayPtr& settings, const std::string& property, ArrayPtr value)
{
    SetField(settings.get(), 0, property, std::move(value));
}

double StatusAt(const CallResult& result, int position)
{
    if (result.aborted || static_cast<int>(result.outputs.size()) < position || !result.outputs[position - 1])
        return -1;
    return NumberOf(result.outputs[position - 1].get());
}

namespace {

CallResult Expected(CallResult result, const char* command)
{
    EXPECT_FALSE(result.aborted) << command << ": " << result.message;
    return result;
}

} // namespace

double Open(const ArrayPtr& settings)
{
    return StatusAt(Expected(Call(mexFunction, 2, {Text("Open").get(), settings.get()}), "Open"), 2);
}

double WriteBytes(const ArrayPtr& settings, const Bytes& bytes)
{
    ArrayPtr command = Text("Write"), data = Uint8Row(bytes);
    return StatusAt(Expected(Call(mexFunction, 1, {command.get(), settings.get(), data.get()}), "Write"), 1);
}

double ReportedNumber(const ArrayPtr& settings, const std::string& property)
{
    ArrayPtr command = Text("GetParams");
    CallResult result = Expected(Call(mexFunction, 1, {command.get(), settings.get()}), "GetParams");
    return result.aborted ? -1 : NumberOf(FieldOf(result.outputs[0].get(), property));
}

double GetParamsStatus(const ArrayPtr& settings)
{
    ArrayPtr command = Text("GetParams");
    return StatusAt(Expected(Call(mexFunction, 2, {command.get(), settings.get()}), "GetParams"), 2);
}

double ReadStatus(const ArrayPtr& settings, double* waiting)
{
    ArrayPtr command = Text("GetReadStatus");
    CallResult result = Expected(Call(mexFunction, 2, {command.get(), settings.get()}), "GetReadStatus");
    if (waiting != nullptr && !result.aborted)
        *waiting = mxIsEmpty(result.outputs[0].get()) ? -1 : NumberOf(result.outputs[0].get());
    return StatusAt(result, 2);
}

void CompleteWritesWhenDrained()
{
    kernel::SetWaitHook([](const HANDLE*, DWORD, BOOL waitAll, DWORD) {
        if (!waitAll)
            return;
        for (const char* device : {"COM2", "COM3"}) {
            sim::SetWriteCompletion(device, sim::WriteCompletion::Later);
            sim::CompleteWrites(device, std::numeric_limits<int>::max());
        }
    });
}

void EndScenario(const std::string& context)
{
    FailNthAllocation(0);
    FailNthArrayCreation(0);
    kernel::FailEventCreations(0);
    CompleteWritesWhenDrained();
    CallResult closeAll = Quorvel(0, Args(Text("CloseAll")));
    kernel::SetWaitHook({});
    EXPECT_FALSE(closeAll.aborted) << context << ": " << closeAll.message;
    EXPECT_EQ(LockCount(), 0) << context;
    EXPECT_EQ(PersistentBlockCount(), 0) << context << ": writes outlived CloseAll";
    EXPECT_EQ(LiveBlockCount(), 0) << context << ": host memory leaked";
    EXPECT_EQ(kernel::LiveObjectCount(), 0u) << context << ": an event or device handle leaked";
    EXPECT_EQ(sim::WouldHangCount(), 0) << context << ": a wait would have hung the host";
    EXPECT_EQ(MisuseCount(), 0) << context << ": " << (MisuseLog().empty() ? "" : MisuseLog().front());
    sim::Reset();
    Reset();
}

} // namespace sweep
