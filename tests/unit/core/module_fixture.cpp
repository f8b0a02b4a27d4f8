#include "module_fixture.h"

namespace quorvel_test {

double StatusAt(const CallResult& result, int position)
{
    EXPECT_FALSE(result.aborted) << result.message;
    if (result.aborted || static_cast<int>(result.outputs.size()) < position || !result.outputs[position - 1])
        return -1;
    return NumberOf(result.outputs[position - 1].get());
}

ArrayPtr PortSettings(const std::string& port)
{
    CallResult defaults = Quorvel(1, Text("GetParams"), Text("default"));
    EXPECT_FALSE(defaults.aborted) << defaults.message;
    ArrayPtr settings = std::move(defaults.outputs[0]);
    Set(settings, "Port", Text(port));
    return settings;
}

void Set(const ArrayPtr& settings, const std::string& property, ArrayPtr value)
{
    SetField(settings.get(), 0, property, std::move(value));
}

std::vector<std::string> DeviceCallNames()
{
    std::vector<std::string> names;
    for (const sim::CallRecord& call : sim::Calls())
        names.push_back(call.function);
    return names;
}

void ModuleTest::SetUp()
{
    sim::Reset();
    test_host::Reset();
    kernel::FailEventCreations(0);
    kernel::FailWaits(0);
}

void ModuleTest::TearDown()
{
    kernel::SetWaitHook({});
    CallResult closeAll = Quorvel(0, Text("CloseAll"));
    EXPECT_FALSE(closeAll.aborted) << closeAll.message;
    EXPECT_EQ(LockCount(), 0);
    EXPECT_EQ(PersistentBlockCount(), 0) << "host memory of writes outlived CloseAll";
    EXPECT_EQ(LiveBlockCount(), 0) << "host memory leaked";
    EXPECT_EQ(kernel::LiveObjectCount(), 0u) << "an event or device handle leaked";
    EXPECT_EQ(sim::WouldHangCount(), 0) << "a wait would have hung the host";
    EXPECT_EQ(MisuseCount(), 0) << (MisuseLog().empty() ? "" : MisuseLog().front());
    sim::Reset();
}

void ModuleTest::OpenPort(const ArrayPtr& settings)
{
    ASSERT_EQ(StatusAt(Quorvel(2, Text("Open"), settings), 2), 0);
}

} // namespace quorvel_test
