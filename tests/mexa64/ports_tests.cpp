// quorvel_ports.mexa64 as MATLAB loads and calls it: ports_tests <path of
// quorvel_ports.mexa64>, with the test host as libmx.so and libmex.so in its
// MATLAB mode, and COM3 linked to a pseudo-terminal in a QUORVEL_DEVICES
// folder of its own.
#include "checks.h"
#include "module_calls.h"
#include "module_file.h"
#include "test_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

using namespace wine_test;

const std::vector<std::string> PortFields = {"Port", "Device", "Source", "Status", "Advice", "Description"};

test_host::MexEntry Gateway()
{
    return reinterpret_cast<test_host::MexEntry>(ModuleSymbol("mexFunction"));
}

std::vector<std::string> FieldNames(const mxArray* structure)
{
    std::vector<std::string> names;
    for (int field = 0; field < mxGetNumberOfFields(structure); ++field)
        names.push_back(mxGetFieldNameByNumber(structure, field));
    return names;
}

std::string Field(const mxArray* rows, std::size_t element, const std::string& name)
{
    const std::vector<std::string> names = FieldNames(rows);
    const auto field = std::find(names.begin(), names.end(), name);
    const mxArray* value = field == names.end()
                               ? nullptr
                               : mxGetFieldByNumber(rows, element, static_cast<int>(field - names.begin()));
    if (value == nullptr)
        return "(no " + name + ")";
    std::string text(mxGetNumberOfElements(value) + 1, '\0');
    mxGetString(value, &text[0], text.size());
    return text.c_str();
}

void ExpectPortArray(const std::string& com3)
{
    test_host::CallResult survey = test_host::Call(Gateway(), 1, {});
    EXPECT_EQUAL(survey.message, std::string());
    const mxArray* ports = survey.outputs[0].get();
    if (ports == nullptr || mxGetClassID(ports) != mxSTRUCT_CLASS) {
        ReportFailure(__FILE__, __LINE__, "no structure array of the ports");
        return;
    }
    EXPECT_EQUAL(mxGetM(ports), 1u);
    EXPECT_EQUAL(mxGetN(ports), 8u);
    EXPECT_TRUE(FieldNames(ports) == PortFields);
    for (std::size_t k = 0; k < mxGetNumberOfElements(ports); ++k)
        EXPECT_EQUAL(Field(ports, k, "Port"), "COM" + std::to_string(k + 1));
    EXPECT_EQUAL(Field(ports, 2, "Status"), std::string("ready"));
    EXPECT_EQUAL(Field(ports, 2, "Device"), com3);
    EXPECT_EQUAL(Field(ports, 2, "Source"), std::string("QUORVEL_DEVICES"));
}

// The words of the printed line that starts with `first`.
std::vector<std::string> PrintedLine(const std::string& printed, const std::string& first)
{
    std::istringstream lines(printed);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> found{std::istream_iterator<std::string>(words), {}};
        if (!found.empty() && found[0] == first)
            return found;
    }
    return {};
}

// MATLAB shows a MEX file's text only when it comes through mexPrintf.
void ExpectTablesPrinted(const std::string& com3)
{
    test_host::CallResult printing = test_host::Call(Gateway(), 0, {});
    EXPECT_EQUAL(printing.message, std::string());
    EXPECT_TRUE(printing.outputs[0] == nullptr);
    const std::string printed = test_host::PrintedText();
    EXPECT_EQUAL(printed.rfind("Ports:\n", 0), 0u);
    EXPECT_TRUE(PrintedLine(printed, "COM3") ==
                (std::vector<std::string>{"COM3", "ready", "QUORVEL_DEVICES", com3}));
    EXPECT_TRUE(printed.find("\nSerial devices present") != std::string::npos);
}

void ExpectRefusalsAbort()
{
    ArrayPtr com9 = Text("COM9");
    ArrayPtr device = Text("/dev/null");
    ArrayPtr number = Number(5);
    EXPECT_EQUAL(AbortMessage({com9.get(), device.get()}),
                 std::string("The port must be one of COM1 to COM8, not 'COM9'."));
    EXPECT_EQUAL(AbortMessage({com9.get(), number.get()}),
                 std::string("The port and the device must be text."));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: %s <quorvel_ports.mexa64>\n", argv[0]);
        return 2;
    }
    test_host::SetHostMode(test_host::HostMode::Matlab);
    char folder[] = "/tmp/quorvel_ports.XXXXXX";
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (mkdtemp(folder) == nullptr || terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) {
        std::printf("FAILED: no folder or pseudo-terminal for COM3\n");
        return 1;
    }
    const std::string com3 = std::string(folder) + "/com3";
    EXPECT_EQUAL(symlink(ptsname(terminal), com3.c_str()), 0);
    setenv("QUORVEL_DEVICES", folder, 1);
    if (!LoadModule(argv[1])) {
        std::printf("FAILED: cannot load %s as a module\n", argv[1]);
        return 1;
    }
    ExpectPortArray(com3);
    ExpectTablesPrinted(com3);
    ExpectRefusalsAbort();
    for (const std::string& misuse : test_host::MisuseLog())
        ReportFailure(__FILE__, __LINE__, "host misuse: " + misuse);
    EXPECT_TRUE(UnloadModule());
    close(terminal);
    std::filesystem::remove_all(folder);
    std::printf("quorvel_ports: %s\n", FailureCount() == 0 ? "passed" : "FAILED");
    return FailureCount() == 0 ? 0 : 1;
}
