// Calls the module the way a script would, quorvel('GetParams', 'default'),
// through the in-process test host, and prints the settings it reports.
#include <cstdio>
#include <string>

#include "test_host.h"

namespace {

std::string Describe(const mxArray* value)
{
    if (mxIsChar(value)) {
        char text[64] = "";
        mxGetString(value, text, sizeof text);
        std::string shown;
        for (const char* c = text; *c != '\0'; ++c)
            shown += (static_cast<unsigned char>(*c) < 0x20) ? "\\x" + std::to_string(*c) : std::string(1, *c);
        return "'" + shown + "'";
    }
    char number[32];
    std::snprintf(number, sizeof number, "%g", mxGetScalar(value));
    return number;
}

}  // namespace

int main()
{
    test_host::ArrayPtr command(mxCreateString("GetParams"));
    test_host::ArrayPtr port(mxCreateString("default"));
    test_host::CallResult result = test_host::Call(mexFunction, 2, {command.get(), port.get()});
    if (result.aborted) {
        std::printf("quorvel: %s\n", result.message.c_str());
        return 1;
    }
    std::printf(">> [settings, status] = quorvel('GetParams', 'default')\nsettings =\n");
    const mxArray* settings = result.outputs[0].get();
    for (int field = 0; field < mxGetNumberOfFields(settings); ++field)
        std::printf("  %14s: %s\n", mxGetFieldNameByNumber(settings, field),
                    Describe(mxGetFieldByNumber(settings, 0, field)).c_str());
    std::printf("status = %g  (2: the defaults are no open port)\n", mxGetScalar(result.outputs[1].get()));
    test_host::ExitHost();
    return 0;
}
