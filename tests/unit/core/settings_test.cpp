#include "module_fixture.h"
#include "ports/port_table.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace quorvel_test {
namespace {

class SettingsTest : public ModuleTest {
  protected:
    // SetParams on a closed slot stores the settings; the report shows them.
    CallResult Store(const ArrayPtr& settings)
    {
        CallResult result = Quorvel(2, Text("SetParams"), settings);
        if (!result.aborted) {
            EXPECT_EQ(StatusAt(result, 2), NotOpen);
        }
        return result;
    }

    const mxArray* Reported(const CallResult& result, const char* property)
    {
        return FieldOf(result.outputs[0].get(), property);
    }

    // The control block the device received when the port was opened.
    DCB OpenedState(const ArrayPtr& settings)
    {
        OpenPort(settings);
        for (const sim::CallRecord& call : sim::Calls())
            if (call.function == "SetCommState")
                return call.dcb;
        ADD_FAILURE() << "no SetCommState";
        return DCB{};
    }
};

// The control block's switches by name, in the order of their flag bits.
std::vector<DWORD> Switches(const DCB& dcb)
{
    return {dcb.fBinary,         dcb.fParity,           dcb.fOutxCtsFlow,  dcb.fOutxDsrFlow, dcb.fDtrControl,
            dcb.fDsrSensitivity, dcb.fTXContinueOnXoff, dcb.fOutX,         dcb.fInX,         dcb.fErrorChar,
            dcb.fNull,           dcb.fRtsControl,       dcb.fAbortOnError, dcb.fDummy2};
}

struct NumberCase {
    const char* property;
    double value;
    double reported;
};

TEST_F(SettingsTest, NumbersAreTruncatedAndStoredInTheirFieldWidth)
{
    const NumberCase cases[] = {
        {"BaudRate", 115200.9, 115200},
        {"BaudRate", -1, 4294967295.0},
        {"ByteSize", 7, 7},
        {"ByteSize", -1, 255},
        {"StopBits", 1.5, 1.5},
        {"StopBits", 2, 2},
        {"StopBits", 1, 1},
        {"StopBits", 0.5, 128.5},
        {"StopBits", 3, 3},
        {"ReadTimeout", 0.5, 0.5},
        {"ReadTimeout", 0.0004, 0},
        {"ReadTimeout", 1.001, 1},
        {"WriteTimeout", 2.5, 2.5},
        {"InBufferSize", 4096.7, 4096},
        {"OutBufferSize", -5, -5},
        {"InBufferSize", 1e12, -2147483648.0},
    };
    for (const NumberCase& number : cases) {
        ArrayPtr settings = PortSettings("COM3");
        Set(settings, number.property, Number(number.value));
        CallResult result = Store(settings);
        EXPECT_EQ(NumberOf(Reported(result, number.property)), number.reported)
            << number.property << " = " << number.value;
    }
}

TEST_F(SettingsTest, NumbersThatAreNoNumberConvertWithoutFault)
{
    for (double odd : {std::nan(""), double(INFINITY), -double(INFINITY), 1e300}) {
        ArrayPtr settings = PortSettings("COM3");
        Set(settings, "BaudRate", Number(odd));
        Set(settings, "ReadTimeout", Number(odd));
        EXPECT_FALSE(Store(settings).aborted);
    }
}

TEST_F(SettingsTest, KeywordsAndCharactersAreStoredInTheControlBlock)
{
    ArrayPtr settings = PortSettings("COM2");
    Set(settings, "Parity", Text("EVEN"));
    Set(settings, "RtsCtsEnable", Text("on"));
    Set(settings, "RtsLine", Text("off"));
    Set(settings, "XonXoffEnable", Text("On"));
    Set(settings, "UseErrorChar", Text("on"));
    Set(settings, "DtrLine", Text("off"));
    Set(settings, "XonChar", Text("A"));
    Set(settings, "XoffChar", Text("B"));
    Set(settings, "ErrorChar", Text("?"));
    DCB dcb = OpenedState(settings);
    EXPECT_EQ(dcb.Parity, 2);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(dcb.fRtsControl, 2u) << "the handshake wins over RtsLine";
    EXPECT_EQ(dcb.fOutX, 1u);
    EXPECT_EQ(dcb.fInX, 1u);
    EXPECT_EQ(dcb.fErrorChar, 1u);
    EXPECT_EQ(dcb.fDtrControl, 0u);
    EXPECT_EQ(dcb.XonChar, 'A');
    EXPECT_EQ(dcb.XoffChar, 'B');
    EXPECT_EQ(dcb.ErrorChar, '?');
    // Bits the settings do not name keep the defaults: fBinary, fTXContinueOnXoff.
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fTXContinueOnXoff, 1u);
    EXPECT_EQ(dcb.XonLim, 16);
    EXPECT_EQ(dcb.XoffLim, 16);
}

TEST_F(SettingsTest, TheFirstOpenSendsTheDefaultControlBlock)
{
    DCB dcb = OpenedState(PortSettings("COM2"));
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    // Binary mode, DTR and RTS raised, sending on after XOFF; nothing else.
    const std::vector<DWORD> defaults = {1, 0, 0, 0, DTR_CONTROL_ENABLE, 0, 1,
                                         0, 0, 0, 0, RTS_CONTROL_ENABLE, 0, 0};
    EXPECT_EQ(Switches(dcb), defaults);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
}

TEST_F(SettingsTest, DsrDtrHandshakeWinsOverDtrLine)
{
    ArrayPtr settings = PortSettings("COM2");
    Set(settings, "DsrDtrEnable", Text("on"));
    Set(settings, "DtrLine", Text("on"));
    Set(settings, "Parity", Text("none"));
    DCB dcb = OpenedState(settings);
    EXPECT_EQ(dcb.fOutxDsrFlow, 1u);
    EXPECT_EQ(dcb.fDtrControl, 2u);
    EXPECT_EQ(dcb.fParity, 0u);
}

TEST_F(SettingsTest, EmptyCharactersStoreZero)
{
    ArrayPtr settings = PortSettings("COM2");
    Set(settings, "XonChar", Text(""));
    EXPECT_EQ(OpenedState(settings).XonChar, 0);
}

struct InvalidCase {
    const char* property;
    ArrayPtr (*value)();
};

TEST_F(SettingsTest, EachPropertyRejectsValuesOfTheWrongKind)
{
    const InvalidCase cases[] = {
        {"BaudRate", [] { return Text("9600"); }},
        {"BaudRate", [] { return Int32Scalar(9600); }},
        {"BaudRate", [] { return Logical(true); }},
        {"RtsCtsEnable", [] { return Text("of"); }},
        {"RtsCtsEnable", [] { return Number(1); }},
        {"RtsCtsEnable", [] { return Logical(true); }},
        {"RtsLine", [] { return Text("handshake"); }},
        {"XonXoffEnable", [] { return Text("yes"); }},
        {"DsrDtrEnable", [] { return Text("onn"); }},
        {"DtrLine", [] { return Text("handshake"); }},
        {"UseErrorChar", [] { return Text(""); }},
        {"ByteSize", [] { return Text("8"); }},
        {"Parity", [] { return Text("ev"); }},
        {"Parity", [] { return Text("evenodd"); }},
        {"StopBits", [] { return Uint8Row({1}); }},
        {"XonChar", [] { return Text("ab"); }},
        {"XoffChar", [] { return Number(19); }},
        {"ErrorChar", [] { return Cell(1, 1); }},
        {"InBufferSize", [] { return Text("1024"); }},
        {"OutBufferSize", [] { return Logical(false); }},
        {"ReadTimeout", [] { return Int32Scalar(1); }},
        {"WriteTimeout", [] { return Text("10"); }},
        {"Parity", [] { return Text("a-keyword-far-too-long"); }},
    };
    for (const InvalidCase& invalid : cases) {
        ArrayPtr settings = PortSettings("COM3");
        Set(settings, invalid.property, invalid.value());
        CallResult result = Quorvel(2, Text("SetParams"), settings);
        EXPECT_EQ(result.message, std::string("Invalid \"") + invalid.property + "\" property value.");
    }
}

TEST_F(SettingsTest, TheFirstInvalidPropertyInReadingOrderIsNamed)
{
    ArrayPtr settings = PortSettings("COM3");
    Set(settings, "ErrorChar", Number(0));
    Set(settings, "BaudRate", Text("fast"));
    EXPECT_EQ(Quorvel(0, Text("SetParams"), settings).message, "Invalid \"BaudRate\" property value.");

    settings = PortSettings("COM3");
    Set(settings, "XonXoffEnable", Text("maybe")); // read after RtsLine
    Set(settings, "RtsLine", Text("maybe"));
    EXPECT_EQ(Quorvel(0, Text("SetParams"), settings).message, "Invalid \"RtsLine\" property value.");
}

TEST_F(SettingsTest, AnEmptyNumberIsStoredAsZero)
{
    for (const char* property : {"BaudRate", "ByteSize", "InBufferSize", "ReadTimeout"}) {
        ArrayPtr settings = PortSettings("COM3");
        Set(settings, property, EmptyDouble());
        EXPECT_EQ(NumberOf(Reported(Store(settings), property)), 0) << property;
    }
}

TEST_F(SettingsTest, AFailedOpenOfAClosedSlotLeavesTheDefaultsUnderItsName)
{
    ArrayPtr stored = PortSettings("COM3");
    Set(stored, "BaudRate", Number(19200));
    Store(stored);
    ArrayPtr invalid = PortSettings("COM3");
    Set(invalid, "Parity", Text("sometimes"));
    EXPECT_EQ(Quorvel(2, Text("Open"), invalid).message, "Invalid \"Parity\" property value.");
    CallResult report = Quorvel(2, Text("GetParams"), PortSettings("COM3"));
    EXPECT_EQ(StatusAt(report, 2), NotOpen);
    EXPECT_EQ(TextOf(Reported(report, "Port")), "COM3");
    EXPECT_EQ(NumberOf(Reported(report, "BaudRate")), 9600) << "the defaults, not the stored 19200";
    EXPECT_EQ(sim::CountCalls("CreateFileA"), 0);
}

TEST_F(SettingsTest, AFailedOpenOfAnOpenPortKeepsItsSettingsAndItOpen)
{
    ArrayPtr settings = PortSettings("COM3");
    Set(settings, "BaudRate", Number(19200));
    OpenPort(settings);
    Set(settings, "BaudRate", Number(38400));
    Set(settings, "StopBits", Text("two"));
    EXPECT_EQ(Quorvel(2, Text("Open"), settings).message, "Invalid \"StopBits\" property value.");
    CallResult report = Quorvel(2, Text("GetParams"), settings);
    EXPECT_EQ(StatusAt(report, 2), 0);
    EXPECT_EQ(NumberOf(Reported(report, "BaudRate")), 19200);
    EXPECT_TRUE(sim::IsOpen("COM3"));
    EXPECT_EQ(LockCount(), 1);
}

TEST_F(SettingsTest, AFailedParseStoresNothing)
{
    ArrayPtr settings = PortSettings("COM3");
    Set(settings, "BaudRate", Number(19200));
    Set(settings, "WriteTimeout", Text("soon"));
    EXPECT_TRUE(Quorvel(0, Text("SetParams"), settings).aborted);
    CallResult report = Quorvel(1, Text("GetParams"), PortSettings("COM3"));
    EXPECT_EQ(NumberOf(Reported(report, "BaudRate")), 0) << "COM3 was never given settings";
}

TEST_F(SettingsTest, OpenAndSetParamsOnTheDefaultsAreRejectedAndChangeNothing)
{
    for (const char* command : {"Open", "SetParams"})
        EXPECT_EQ(Quorvel(2, Text(command), Text("default")).message, "Invalid \"BaudRate\" property value.");
    CallResult defaults = Quorvel(1, Text("GetParams"), Text("default"));
    EXPECT_EQ(NumberOf(Reported(defaults, "BaudRate")), 9600);
    EXPECT_EQ(LockCount(), 0);
}

TEST_F(SettingsTest, TheDefaultsAreReported)
{
    CallResult result = Quorvel(2, Text("GetParams"), Text("default"));
    EXPECT_EQ(StatusAt(result, 2), NotOpen);
    const mxArray* report = result.outputs[0].get();
    std::vector<std::string> expectedNames = {
        "Port",         "BaudRate",      "RtsCtsEnable", "XonXoffEnable", "DsrDtrEnable", "UseErrorChar",
        "ByteSize",     "Parity",        "StopBits",     "XonChar",       "XoffChar",     "ErrorChar",
        "InBufferSize", "OutBufferSize", "ReadTimeout",  "WriteTimeout",  "RtsLine",      "DtrLine"};
    EXPECT_EQ(FieldNamesOf(report), expectedNames);
    const std::pair<const char*, const char*> texts[] = {
        {"Port", "COM1"},        {"RtsCtsEnable", "off"}, {"XonXoffEnable", "off"}, {"DsrDtrEnable", "off"},
        {"UseErrorChar", "off"}, {"Parity", "none"},      {"XonChar", "\x11"},      {"XoffChar", "\x13"},
        {"ErrorChar", ""},       {"RtsLine", "on"},       {"DtrLine", "on"}};
    for (const auto& [property, text] : texts)
        EXPECT_EQ(TextOf(FieldOf(report, property)), text) << property;
    const std::pair<const char*, double> numbers[] = {
        {"BaudRate", 9600},      {"ByteSize", 8},     {"StopBits", 1},     {"InBufferSize", 1024},
        {"OutBufferSize", 1024}, {"ReadTimeout", 10}, {"WriteTimeout", 10}};
    for (const auto& [property, number] : numbers)
        EXPECT_EQ(NumberOf(FieldOf(report, property)), number) << property;
}

TEST_F(SettingsTest, ANeverOpenedSlotReportsZeroSettings)
{
    CallResult result = Quorvel(2, Text("GetParams"), PortSettings("COM8"));
    EXPECT_EQ(StatusAt(result, 2), NotOpen);
    const mxArray* report = result.outputs[0].get();
    EXPECT_EQ(TextOf(FieldOf(report, "Port")), "COM8");
    for (const char* zero :
         {"BaudRate", "ByteSize", "InBufferSize", "OutBufferSize", "ReadTimeout", "WriteTimeout"})
        EXPECT_EQ(NumberOf(FieldOf(report, zero)), 0) << zero;
    EXPECT_EQ(NumberOf(FieldOf(report, "StopBits")), 1);
    for (const char* off :
         {"RtsCtsEnable", "XonXoffEnable", "DsrDtrEnable", "UseErrorChar", "RtsLine", "DtrLine"})
        EXPECT_EQ(TextOf(FieldOf(report, off)), "off") << off;
    EXPECT_EQ(TextOf(FieldOf(report, "Parity")), "none");
    EXPECT_TRUE(mxIsEmpty(FieldOf(report, "XonChar")));
}

TEST_F(SettingsTest, HandshakeLineModesAreReportedAndNotAcceptedBack)
{
    ArrayPtr settings = PortSettings("COM3");
    Set(settings, "RtsCtsEnable", Text("on"));
    CallResult rtsCts = Store(settings);
    EXPECT_EQ(TextOf(Reported(rtsCts, "RtsLine")), "handshake");
    EXPECT_EQ(Quorvel(0, Text("SetParams"), rtsCts.outputs[0]).message,
              "Invalid \"RtsLine\" property value.");

    settings = PortSettings("COM4");
    Set(settings, "DsrDtrEnable", Text("on"));
    CallResult dsrDtr = Store(settings);
    EXPECT_EQ(TextOf(Reported(dsrDtr, "DtrLine")), "handshake");
    EXPECT_EQ(Quorvel(0, Text("SetParams"), dsrDtr.outputs[0]).message,
              "Invalid \"DtrLine\" property value.");
}

TEST_F(SettingsTest, ParityIsReportedOnlyWhileCheckingIsOn)
{
    for (const char* parity : {"odd", "even", "mark", "space", "none"}) {
        ArrayPtr settings = PortSettings("COM3");
        Set(settings, "Parity", Text(parity));
        EXPECT_EQ(TextOf(Reported(Store(settings), "Parity")), parity);
    }
}

TEST_F(SettingsTest, OutOfMemoryWhileReportingLeavesNothingBehind)
{
    ArrayPtr command = Text("GetParams"), port = Text("default");
    long arraysBefore = LiveArrayCount();
    for (long failAt = 1;; ++failAt) {
        FailNthArrayCreation(failAt);
        CallResult result = Quorvel(2, command, port);
        if (!result.aborted) {
            // The report, one value per property, and the status.
            const long arraysOfTheCall = 1 + PropertyCount + 1;
            EXPECT_EQ(failAt, arraysOfTheCall + 1);
            FailNthArrayCreation(0);
            EXPECT_EQ(LiveArrayCount(), arraysBefore + arraysOfTheCall);
            break;
        }
        EXPECT_EQ(result.message, "Out of memory.") << failAt;
        EXPECT_EQ(LiveArrayCount(), arraysBefore) << failAt;
        EXPECT_EQ(LiveBlockCount(), 0) << failAt;
    }
}

} // namespace
} // namespace quorvel_test
