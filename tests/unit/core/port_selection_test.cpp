#include "module_fixture.h"

namespace quorvel_test {
namespace {

class PortSelectionTest : public ModuleTest {
  protected:
    // The Port a GetParams on this argument reports, or the abort message.
    std::string Selected(const ArrayPtr& portArgument)
    {
        CallResult result = Quorvel(1, Text("GetParams"), portArgument);
        return result.aborted ? result.message : TextOf(FieldOf(result.outputs[0].get(), "Port"));
    }

    std::string SelectedByPort(ArrayPtr portValue)
    {
        ArrayPtr settings = PortSettings();
        Set(settings, "Port", std::move(portValue));
        return Selected(settings);
    }
};

const char* const Names[] = {"Port",         "BaudRate",  "RtsCtsEnable", "XonXoffEnable", "DsrDtrEnable",
                             "UseErrorChar", "ByteSize",  "Parity",       "StopBits",      "XonChar",
                             "XoffChar",     "ErrorChar", "InBufferSize", "OutBufferSize", "ReadTimeout",
                             "WriteTimeout", "RtsLine",   "DtrLine"};

ArrayPtr StructWithNames(std::vector<std::string> names, const std::string& port = "COM2")
{
    ArrayPtr structure = StructArray(1, 1, names);
    SetField(structure.get(), 0, names[0], Text(port));
    return structure;
}

std::vector<std::string> PropertyNameList()
{
    return {std::begin(Names), std::end(Names)};
}

constexpr const char* ObjectMessage = "The second input argument must be a \"vantrel\" object.";
constexpr const char* PortMessage = "Invalid serial port name.";

TEST_F(PortSelectionTest, TheDefaultsAreNeverAnOpenPort)
{
    EXPECT_EQ(StatusOf(Quorvel(0, Text("FlushRead"), Text("default"))), NotOpen);
    EXPECT_EQ(StatusOf(Quorvel(0, Text("FlushWrite"), Text("default"))), NotOpen);
    EXPECT_EQ(StatusOf(Quorvel(0, Text("FlushWrite"), Text("default"), Text("discard"))), NotOpen);
    EXPECT_EQ(sim::Calls().size(), 0u);
}

TEST_F(PortSelectionTest, TheDefaultKeywordIgnoresCase)
{
    for (const char* keyword : {"default", "DEFAULT", "Default"})
        EXPECT_EQ(StatusAt(Quorvel(2, Text("GetParams"), Text(keyword)), 2), NotOpen) << keyword;
}

TEST_F(PortSelectionTest, OtherArgumentsMustBeSettingsStructures)
{
    EXPECT_EQ(Selected(Text("COM1")), ObjectMessage);
    EXPECT_EQ(Selected(Text("defaults")), ObjectMessage); // does not fit the keyword buffer
    EXPECT_EQ(Selected(Number(1)), ObjectMessage);
    EXPECT_EQ(Selected(Cell(1, 18)), ObjectMessage);

    std::vector<std::string> seventeen = PropertyNameList();
    seventeen.pop_back();
    EXPECT_EQ(Selected(StructWithNames(seventeen)), ObjectMessage);

    std::vector<std::string> swapped = PropertyNameList();
    std::swap(swapped[1], swapped[2]);
    EXPECT_EQ(Selected(StructWithNames(swapped)), ObjectMessage);
}

TEST_F(PortSelectionTest, FieldNamesMatchIgnoringCaseAndExtraFieldsAreIgnored)
{
    std::vector<std::string> names = PropertyNameList();
    names[1] = "baudrate";
    names.push_back("Tag");
    names.push_back("UserData");
    EXPECT_EQ(Selected(StructWithNames(names)), "COM2");
}

TEST_F(PortSelectionTest, OnlyComAndTheFourthCharacterCount)
{
    const std::pair<const char*, const char*> cases[] = {
        {"com3", "COM3"},      {"COM8", "COM8"},         {"COM10", "COM1"},    {"Com7x", "COM7"},
        {"COM9", PortMessage}, {"COM0", PortMessage},    {"COM", PortMessage}, {"COM12345", PortMessage},
        {"LPT1", PortMessage}, {"default", PortMessage}, {"", PortMessage},
    };
    for (const auto& [port, expected] : cases)
        EXPECT_EQ(SelectedByPort(Text(port)), expected) << port;
    EXPECT_EQ(SelectedByPort(Number(3)), PortMessage);
}

TEST_F(PortSelectionTest, AStructureArrayIsSelectedByItsFirstElement)
{
    ArrayPtr pair = StructArray(1, 2, PropertyNameList());
    SetField(pair.get(), 0, "Port", Text("COM4"));
    SetField(pair.get(), 1, "Port", Text("COM5"));
    EXPECT_EQ(Selected(pair), "COM4");

    EXPECT_EQ(Selected(StructArray(0, 0, PropertyNameList())), PortMessage);
    EXPECT_EQ(Selected(StructArray(1, 0, PropertyNameList())), PortMessage);
}

// MATLAB hands the module vantrel objects, and answers field lookups on
// other arrays with 0 or null instead of an error.
class MatlabPortSelectionTest : public PortSelectionTest {
  protected:
    void SetUp() override
    {
        PortSelectionTest::SetUp();
        SetHostMode(HostMode::Matlab);
    }
    void TearDown() override
    {
        PortSelectionTest::TearDown();
        SetHostMode(HostMode::Strict);
    }
};

TEST_F(MatlabPortSelectionTest, AVantrelObjectOrAStructureSelectsAndNothingElseDoes)
{
    ArrayPtr object = PortSettings("COM3");
    MakeObjectOf(object.get(), "vantrel");
    EXPECT_EQ(Selected(object), "COM3");
    EXPECT_EQ(Selected(StructWithNames(PropertyNameList())), "COM2");
    for (const ArrayPtr& other : {Text("COM1"), Number(1), EmptyDouble(), Logical(true), Cell(1, 18)})
        EXPECT_EQ(Selected(other), ObjectMessage) << mxGetClassName(other.get());
}

TEST_F(MatlabPortSelectionTest, AVantrelObjectOpensConfiguresAndCloses)
{
    ArrayPtr object = PortSettings("COM3");
    Set(object, "BaudRate", Number(19200));
    MakeObjectOf(object.get(), "vantrel");
    OpenPort(object);
    EXPECT_EQ(sim::AcceptedState("COM3").BaudRate, 19200u);
    EXPECT_EQ(StatusOf(Quorvel(1, Text("Write"), object, Uint8Row({1, 2}))), Pending);
    EXPECT_EQ(StatusOf(Quorvel(1, Text("Close"), object)), 0);
    EXPECT_EQ(sim::Sent("COM3"), (Bytes{1, 2}));
}

TEST_F(MatlabPortSelectionTest, TheDefaultKeywordHasNoSettingsToOpenWith)
{
    CallResult result = Quorvel(2, Text("Open"), Text("default"));
    EXPECT_TRUE(result.aborted);
    EXPECT_EQ(result.message, "Invalid \"BaudRate\" property value.");
}

} // namespace
} // namespace quorvel_test
