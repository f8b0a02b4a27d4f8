// quorvel_ports, a MEX function of its own beside the module: the survey of
// COM1-COM8 and of the serial devices present, and the mapping of a port.
// The arguments, the arrays and the printed tables are the same on every
// platform; each platform's survey answers through survey_backend.h. It
// calls only the mex/mx interface of host.h, so a build for another host
// compiles it against that host's backend.
#include "host.h"
#include "survey_backend.h"
#include "survey_tables.h"

#include <cstdio>
#include <iterator>
#include <new>
#include <string>
#include <vector>

namespace {

using namespace port_survey;

constexpr std::size_t RefusalSize = 4096;

const char* PortFields[] = {"Port", "Device", "Source", "Status", "Advice", "Description"};
const char* DeviceFields[] = {"Path", "StableName", "Description", "MappedAs"};

// The hosts end the call themselves when an array cannot be made.
template <std::size_t FieldCount> mxArray* StructRow(std::size_t count, const char* (&names)[FieldCount])
{
    return mxCreateStructMatrix(1, static_cast<mwSize>(count), static_cast<int>(FieldCount), names);
}

void SetText(mxArray* row, std::size_t element, int field, const std::string& text)
{
    mxSetFieldByNumber(row, static_cast<mwIndex>(element), field, mxCreateString(text.c_str()));
}

mxArray* PortArray(const std::vector<PortRow>& rows)
{
    mxArray* array = StructRow(rows.size(), PortFields);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const PortRow& row = rows[k];
        const std::string texts[] = {row.port,   row.device,     row.source, StatusName(row.status),
                                     row.advice, row.description};
        for (std::size_t field = 0; field < std::size(texts); ++field)
            SetText(array, k, static_cast<int>(field), texts[field]);
    }
    return array;
}

mxArray* DeviceArray(const std::vector<SerialDevice>& devices)
{
    mxArray* array = StructRow(devices.size(), DeviceFields);
    for (std::size_t k = 0; k < devices.size(); ++k) {
        const SerialDevice& device = devices[k];
        const std::string texts[] = {device.path, device.stableName, device.description, device.mappedAs};
        for (std::size_t field = 0; field < std::size(texts); ++field)
            SetText(array, k, static_cast<int>(field), texts[field]);
    }
    return array;
}

void PrintOrReturn(int nlhs, mxArray* plhs[])
{
    const Survey survey = SurveyNow();
    if (nlhs == 0) {
        mexPrintf("%s\n%s", PortTable(survey.ports).c_str(), DeviceTable(survey.devices).c_str());
        return;
    }
    plhs[0] = PortArray(survey.ports);
    if (nlhs > 1)
        plhs[1] = DeviceArray(survey.devices);
}

std::string TextOf(const mxArray* array)
{
    std::string text(mxGetNumberOfElements(array) + 1, '\0');
    mxGetString(array, &text[0], static_cast<mwSize>(text.size()));
    return text.c_str();
}

// By its class: a call the module imports too, so the helper adds no host call for it.
bool IsText(const mxArray* array)
{
    return mxGetClassID(array) == mxCHAR_CLASS;
}

// Fills refusal and returns false when nothing was changed.
bool Map(mxArray* plhs[], const mxArray* prhs[], char* refusal)
{
    if (!IsText(prhs[0]) || !IsText(prhs[1])) {
        std::snprintf(refusal, RefusalSize, "The port and the device must be text.");
        return false;
    }
    const Mapping mapping = MapPort(TextOf(prhs[0]), TextOf(prhs[1]));
    if (!mapping.refusal.empty()) {
        std::snprintf(refusal, RefusalSize, "%s", mapping.refusal.c_str());
        return false;
    }
    plhs[0] = PortArray({PortNow(mapping.number)});
    return true;
}

bool Run(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[], char* refusal)
{
    if (nrhs == 0 && nlhs <= 2) {
        PrintOrReturn(nlhs, plhs);
        return true;
    }
    if (nrhs == 2 && nlhs <= 1)
        return Map(plhs, prhs, refusal);
    std::snprintf(refusal, RefusalSize,
                  "Use ports = quorvel_ports(), [ports, devices] = quorvel_ports() or "
                  "row = quorvel_ports('COMn', device).");
    return false;
}

} // namespace

// The refusal is raised only once Run has returned (Octave puts the
// function's name before it): nothing with a
// destructor may be live when the host ends the call, and no C++ exception
// may reach the host.
extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    char refusal[RefusalSize];
    bool done = false;
    try {
        done = Run(nlhs, plhs, nrhs, prhs, refusal);
    } catch (const std::bad_alloc&) {
        std::snprintf(refusal, RefusalSize, "Out of memory.");
    }
    if (!done)
        HostAbort(refusal);
}

extern "C" void mexfilerequiredapiversion(unsigned int* release, unsigned int* arrayInterface)
{
    *release = 0x2016B;
    *arrayInterface = 0x07000000;
}
