#include "ports_cases.h"

#include "checks.h"
#include "far_end.h"
#include "module_calls.h"

#include <sstream>
#include <windows.h>

namespace wine_test {
namespace {

std::string helperPath;
HMODULE helper = nullptr;

test_host::MexEntry Helper()
{
    if (helper == nullptr)
        helper = LoadLibraryA(helperPath.c_str());
    auto entry = reinterpret_cast<test_host::MexEntry>(
        helper == nullptr ? nullptr : reinterpret_cast<void*>(GetProcAddress(helper, "mexFunction")));
    if (entry == nullptr)
        ReportFailure(__FILE__, __LINE__, "cannot load " + helperPath);
    return entry;
}

test_host::CallResult CallHelper(int nlhs, const std::vector<const mxArray*>& arguments)
{
    test_host::MexEntry entry = Helper();
    return entry == nullptr ? test_host::CallResult{} : test_host::Call(entry, nlhs, arguments);
}

std::string TextOf(const mxArray* value)
{
    if (value == nullptr || mxGetClassID(value) != mxCHAR_CLASS)
        return "(no text)";
    std::string text(mxGetNumberOfElements(value) + 1, '\0');
    mxGetString(value, &text[0], text.size());
    return text.c_str();
}

std::string Field(const mxArray* rows, std::size_t element, const char* name)
{
    if (rows == nullptr || element >= mxGetNumberOfElements(rows))
        return "(no element)";
    for (int field = 0; field < mxGetNumberOfFields(rows); ++field)
        if (std::string(mxGetFieldNameByNumber(rows, field)) == name)
            return TextOf(mxGetFieldByNumber(rows, element, field));
    return "(no field)";
}

// The row quorvel_ports(port, target) answers with, and its refusal.
struct MapResult {
    std::string device, source, status, refusal;
};

MapResult Map(int port, const ArrayPtr& target)
{
    ArrayPtr slot = Text("COM" + std::to_string(port));
    test_host::CallResult result = CallHelper(1, {slot.get(), target.get()});
    const mxArray* row = result.outputs.empty() ? nullptr : result.outputs[0].get();
    return {Field(row, 0, "Device"), Field(row, 0, "Source"), Field(row, 0, "Status"),
            result.aborted ? result.message : ""};
}

MapResult Map(int port, const std::string& target)
{
    return Map(port, Text(target));
}

struct SurveyResult {
    ArrayPtr ports, devices;
};

SurveyResult SurveyBoth()
{
    test_host::CallResult result = CallHelper(2, {});
    EXPECT_EQUAL(result.message, std::string());
    if (result.outputs.size() < 2)
        return {};
    return {std::move(result.outputs[0]), std::move(result.outputs[1])};
}

// The MappedAs of the device listed at path, or "(not listed)".
std::string MappedAs(const SurveyResult& survey, const std::string& path)
{
    const std::size_t count = survey.devices ? mxGetNumberOfElements(survey.devices.get()) : 0;
    for (std::size_t k = 0; k < count; ++k)
        if (Field(survey.devices.get(), k, "Path") == path)
            return Field(survey.devices.get(), k, "MappedAs");
    return "(not listed)";
}

// Bytes cross both ways between the open port and the far end at farPort.
void ExpectExchange(const ArrayPtr& settings, int farPort)
{
    EXPECT_TRUE(Write(settings, "ping") >= 0.0);
    EXPECT_EQUAL(FarReceive(farPort, 4, 2000), std::string("ping"));
    FarSend(farPort, "pong");
    EXPECT_EQUAL(Read(settings, 4).data, std::string("pong"));
}

const std::string Com12 = "\\\\.\\COM12";

// The words of the printed line that starts with first, one space apart.
std::string PrintedLine(const std::string& first)
{
    std::istringstream lines(test_host::PrintedText());
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word, joined;
        while (words >> word)
            joined += (joined.empty() ? "" : " ") + word;
        if (joined.rfind(first + " ", 0) == 0)
            return joined;
    }
    return "(not printed)";
}

} // namespace

void SetPortsHelperBeside(const std::string& modulePath)
{
    const std::size_t folder = modulePath.find_last_of("\\/");
    helperPath =
        (folder == std::string::npos ? "" : modulePath.substr(0, folder + 1)) + "quorvel_ports.mexw64";
}

void MappedPortExchangesData()
{
    const MapResult mapped = Map(3, "COM12");
    EXPECT_EQUAL(mapped.refusal, std::string());
    EXPECT_EQUAL(mapped.device, Com12);
    EXPECT_EQUAL(mapped.source, std::string("registry"));
    EXPECT_EQUAL(mapped.status, std::string("ready"));

    ArrayPtr com3 = PortSettings(3);
    const Settled opened = Open(com3);
    EXPECT_EQUAL(opened.status, 0.0);
    EXPECT_EQUAL(Field(opened.settings.get(), 0, "Port"), std::string("COM3"));
    ExpectExchange(com3, MappedPort);
    EXPECT_EQUAL(Close(com3), 0.0);

    SurveyResult survey = SurveyBoth();
    EXPECT_EQUAL(Field(survey.ports.get(), 2, "Device"), Com12);
    EXPECT_EQUAL(Field(survey.ports.get(), 2, "Status"), std::string("ready"));
    EXPECT_EQUAL(MappedAs(survey, "COM12"), std::string("COM3"));
    EXPECT_EQUAL(MappedAs(survey, "COM4"), std::string("COM4"));
    // COM8's device refuses every open: Wine answers ERROR_NOACCESS (998).
    EXPECT_EQUAL(Field(survey.ports.get(), 7, "Status"), std::string("no access"));
    CallHelper(0, {});
    EXPECT_EQUAL(PrintedLine("COM3"), "COM3 ready registry " + Com12);

    // A port that is not there: COM13 is no port of this machine.
    EXPECT_EQUAL(Map(3, "COM13").status, std::string("target missing"));
    EXPECT_EQUAL(Open(com3).status, NotOpen);

    const MapResult removed = Map(3, "");
    EXPECT_EQUAL(removed.device, std::string("COM3"));
    EXPECT_EQUAL(removed.source, std::string("default"));

    // The variable stands in for the registry.
    SetEnvironmentVariableA("QUORVEL_PORTS", "COM4=COM12");
    ArrayPtr com4 = PortSettings(4);
    EXPECT_EQUAL(Open(com4).status, 0.0);
    ExpectExchange(com4, MappedPort);
    EXPECT_EQUAL(Close(com4), 0.0);
    survey = SurveyBoth();
    EXPECT_EQUAL(Field(survey.ports.get(), 3, "Source"), std::string("QUORVEL_PORTS"));
    EXPECT_EQUAL(MappedAs(survey, "COM12"), std::string("COM4"));
    SetEnvironmentVariableA("QUORVEL_PORTS", nullptr);
}

struct Refusal {
    int port;
    std::string target;
    std::string message;
};

void MappingRefusals()
{
    EXPECT_EQUAL(Map(5, "com12").refusal, std::string());
    const Refusal refusals[] = {
        {9, "COM12", "The port must be one of COM1 to COM8, not 'COM9'."},
        {3, "CNCA0",
         "The device must be a COM port such as 'COM12' or a device path such as '\\\\.\\CNCA0', not "
         "'CNCA0'."},
        {3, "\\\\.\\COM12",
         "COM5 already reaches \\\\.\\COM12, and a port opens for one owner only, so the second Open would "
         "fail: remove that mapping first with quorvel_ports('COM5', '')."},
        {3, "COM4",
         "COM4 already reaches \\\\.\\COM4, and a port opens for one owner only, so the second Open would "
         "fail: map COM4 to another device first."},
    };
    for (const Refusal& refusal : refusals)
        EXPECT_EQUAL(Map(refusal.port, refusal.target).refusal, refusal.message);
    EXPECT_EQUAL(Map(3, Number(12)).refusal, std::string("The port and the device must be text."));
    SetEnvironmentVariableA("QUORVEL_PORTS", "COM1=COM1");
    EXPECT_EQUAL(Map(3, "COM13").refusal,
                 std::string("QUORVEL_PORTS is set and stands in for the registry: change the mapping there, "
                             "or clear it first."));
    SetEnvironmentVariableA("QUORVEL_PORTS", nullptr);
    EXPECT_EQUAL(Field(SurveyBoth().ports.get(), 2, "Source"), std::string("default"));

    // A virtual port driver's device path is taken as it is.
    const MapResult virtualPort = Map(6, "\\\\.\\CNCA0");
    EXPECT_EQUAL(virtualPort.device, std::string("\\\\.\\CNCA0"));
    EXPECT_EQUAL(virtualPort.status, std::string("target missing"));
    EXPECT_EQUAL(Map(6, "").refusal, std::string());
    EXPECT_EQUAL(Map(5, "").refusal, std::string());
}

} // namespace wine_test
