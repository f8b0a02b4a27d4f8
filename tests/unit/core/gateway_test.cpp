#include "module_fixture.h"
#include "ports/port_table.h"

namespace quorvel_test {
namespace {

class GatewayTest : public ModuleTest {};

struct RejectedCall {
    const char* command;
    int portArguments; // 0, 1 or 2 trailing "default" arguments
    int nlhs;
    const char* message;
};

std::vector<const mxArray*> WithPorts(const ArrayPtr& command, int count, const ArrayPtr& port)
{
    std::vector<const mxArray*> arguments{command.get()};
    arguments.insert(arguments.end(), count, port.get());
    return arguments;
}

TEST_F(GatewayTest, RejectsBadCommandsAndCountsWithTheirMessages)
{
    const RejectedCall cases[] = {
        {"", 1, 0, "Ambiguous command name."},
        {"clo", 1, 0, "Ambiguous command name."},
        {"C", 1, 0, "Ambiguous command name."},
        {"Get", 1, 0, "Ambiguous command name."},
        {"Flush", 1, 0, "Ambiguous command name."},
        {"openx", 1, 0, "Unknown command."},
        {"Quit", 1, 0, "Unknown command."},
        {"CloseAll", 1, 0, "Too many input arguments."},
        {"CloseAll", 0, 1, "Too many output arguments."},
        {"Open", 0, 0, "Too few input arguments."},
        {"Write", 1, 0, "Too few input arguments."},
        {"Read", 3, 0, "Too many input arguments."},
        {"GetParams", 1, 3, "Too many output arguments."},
        {"Close", 1, 2, "Too many output arguments."},
        {"1234567890123456789", 1, 0, "Unknown command."},
        {"12345678901234567890", 1, 0, "The first input argument must be a command string."},
    };
    ArrayPtr port = Text("default");
    for (const RejectedCall& rejected : cases) {
        ArrayPtr command = Text(rejected.command);
        CallResult result =
            Call(mexFunction, rejected.nlhs, WithPorts(command, rejected.portArguments, port));
        EXPECT_TRUE(result.aborted) << rejected.command;
        EXPECT_EQ(result.message, rejected.message) << rejected.command;
    }
}

TEST_F(GatewayTest, RejectsCallsWithoutACommandString)
{
    EXPECT_EQ(Call(mexFunction, 0, {}).message, "Too few input arguments.");
    EXPECT_EQ(Quorvel(0, Number(1)).message, "The first input argument must be a command string.");
    EXPECT_EQ(Quorvel(0, Uint8Row({'O', 'p', 'e', 'n'})).message,
              "The first input argument must be a command string.");
}

TEST_F(GatewayTest, ResolvesUniquePrefixesAndExactNamesIgnoringCase)
{
    // Each command answers "default" in its own recognisable way.
    EXPECT_EQ(StatusAt(Quorvel(0, Text("Close"), Text("default")), 1), NotOpen);
    for (const char* name : {"geTP", "GETPARAMS", "getparams"}) {
        CallResult result = Quorvel(2, Text(name), Text("default"));
        EXPECT_EQ(StatusAt(result, 2), NotOpen) << name;
        EXPECT_TRUE(mxIsStruct(result.outputs[0].get())) << name;
    }
    for (const char* name : {"OPEN", "open", "oPeN"})
        EXPECT_EQ(Quorvel(0, Text(name), Text("default")).message, "Invalid \"BaudRate\" property value.")
            << name;
    EXPECT_FALSE(Quorvel(0, Text("CloseA")).aborted);
    EXPECT_EQ(Quorvel(0, Text("W"), Text("default")).message, "Too few input arguments.");
    EXPECT_EQ(StatusAt(Quorvel(1, Text("W"), Text("default"), Uint8Row({1})), 1), NotOpen);
    EXPECT_EQ(StatusAt(Quorvel(2, Text("GetW"), Text("default")), 2), NotOpen);
    EXPECT_EQ(StatusAt(Quorvel(2, Text("GetR"), Text("default")), 2), NotOpen);
}

TEST_F(GatewayTest, OneOutputCommandsAlwaysDeliverTheirStatus)
{
    CallResult close = Quorvel(0, Text("Close"), Text("default"));
    ASSERT_EQ(close.outputs.size(), 1u);
    EXPECT_EQ(StatusAt(close, 1), NotOpen);
}

TEST_F(GatewayTest, TwoOutputCommandsDeliverTheStatusOnlyWhenBothAreAsked)
{
    CallResult dataOnly = Quorvel(1, Text("Read"), Text("default"));
    ASSERT_EQ(dataOnly.outputs.size(), 1u);
    EXPECT_TRUE(mxIsUint8(dataOnly.outputs[0].get()));

    CallResult both = Quorvel(2, Text("Read"), Text("default"));
    ASSERT_EQ(both.outputs.size(), 2u);
    EXPECT_EQ(mxGetN(both.outputs[0].get()), 0u);
    EXPECT_EQ(StatusAt(both, 2), NotOpen);
}

TEST_F(GatewayTest, CloseAllReturnsNothing)
{
    CallResult result = Quorvel(0, Text("CloseAll"));
    EXPECT_FALSE(result.aborted);
    EXPECT_EQ(result.outputs[0], nullptr);
}

TEST_F(GatewayTest, RegistersTheExitHookOnEveryCallEvenARejectedOne)
{
    Call(mexFunction, 0, {});
    Quorvel(0, Text("nonsense"));
    EXPECT_TRUE(ExitHookRegistered());
    EXPECT_EQ(ExitHookRegistrations(), 2);
}

TEST_F(GatewayTest, TheStatusMatrixFailingAbortsAfterTheCommandTookEffect)
{
    ArrayPtr settings = PortSettings("COM2");
    // Open creates the report (the structure and a value per property) before the status matrix.
    FailNthArrayCreation(1 + PropertyCount + 1);
    CallResult open = Quorvel(2, Text("Open"), settings);
    EXPECT_EQ(open.message, "Out of memory.");
    EXPECT_TRUE(sim::IsOpen("COM2"));
    EXPECT_EQ(LockCount(), 1);
}

extern "C" void mexfilerequiredapiversion(unsigned int* release, unsigned int* arrayInterface);

TEST_F(GatewayTest, TellsTheHostWhichInterfaceItWasBuiltFor)
{
    unsigned int release = 0, arrayInterface = 0;
    mexfilerequiredapiversion(&release, &arrayInterface);
    EXPECT_EQ(release, 0x2016Bu);
    EXPECT_EQ(arrayInterface, 0x07000000u);
}

} // namespace
} // namespace quorvel_test
