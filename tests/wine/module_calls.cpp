#include "module_calls.h"

#include "checks.h"
#include "module_file.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace wine_test {

namespace {

using test_host::CallResult;

test_host::MexEntry gateway = nullptr;

// What the module must declare through mexfilerequiredapiversion: the host
// release it was built for and the array interface with 32-bit dimensions.
constexpr unsigned BuiltForRelease = 0x2016B;
constexpr unsigned ArrayInterface32 = 0x07000000;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <class... Arguments> CallResult Quorvel(int nlhs, const char* command, const Arguments&... arguments)
{
    ArrayPtr name = Text(command);
    CallResult result = test_host::Call(gateway, nlhs, {name.get(), arguments.get()...});
    if (result.aborted)
        ReportFailure(__FILE__, __LINE__, std::string(command) + " aborted: " + result.message);
    return result;
}

// The status at output position `position` (1-based).
double StatusAt(const CallResult& result, int position)
{
    const mxArray* status = result.outputs.size() >= static_cast<std::size_t>(position)
                                ? result.outputs[position - 1].get()
                                : nullptr;
    return status != nullptr ? NumberOf(status) : -1;
}

std::string BytesOf(const mxArray* array)
{
    if (array == nullptr || !mxIsUint8(array)) {
        ReportFailure(__FILE__, __LINE__, "read data is not a uint8 array");
        return {};
    }
    return std::string(static_cast<const char*>(mxGetData(array)), mxGetNumberOfElements(array));
}

int FieldIndex(const mxArray* settings, const std::string& name)
{
    for (int field = 0; field < mxGetNumberOfFields(settings); ++field)
        if (name == mxGetFieldNameByNumber(settings, field))
            return field;
    ReportFailure(__FILE__, __LINE__, "no property " + name);
    return -1;
}

Settled SettledOf(CallResult result)
{
    return {std::move(result.outputs[0]), StatusAt(result, 2)};
}

QueueState QueueStateOf(const CallResult& result)
{
    const mxArray* count = result.outputs[0].get();
    return {count != nullptr && mxGetNumberOfElements(count) == 1 ? NumberOf(count) : -1,
            StatusAt(result, 2)};
}

ReadResult ReadResultOf(Clock::time_point start, const CallResult& result)
{
    double seconds = SecondsSince(start);
    return {BytesOf(result.outputs[0].get()), StatusAt(result, 2), seconds};
}

} // namespace

bool LoadModule(const std::string& path)
{
    if (!OpenModuleFile(path))
        return false;
    auto declared =
        reinterpret_cast<void (*)(unsigned*, unsigned*)>(ModuleSymbol("mexfilerequiredapiversion"));
    gateway = reinterpret_cast<test_host::MexEntry>(ModuleSymbol("mexFunction"));
    unsigned release = 0, arrayInterface = 0;
    if (declared != nullptr)
        declared(&release, &arrayInterface);
    return gateway != nullptr && release == BuiltForRelease && arrayInterface == ArrayInterface32;
}

bool UnloadModule()
{
    if (!test_host::ClearModule())
        return false;
    DropModule();
    return true;
}

void DropModule()
{
    CloseModuleFile();
    gateway = nullptr;
}

bool ModuleLoaded()
{
    return gateway != nullptr;
}

std::string AbortMessage(const std::vector<const mxArray*>& arguments, int nlhs)
{
    test_host::CallResult result = test_host::Call(gateway, nlhs, arguments);
    return result.aborted ? result.message : std::string();
}

ArrayPtr Text(const std::string& text)
{
    return ArrayPtr(mxCreateString(text.c_str()));
}

ArrayPtr Number(double value)
{
    return ArrayPtr(mxCreateDoubleScalar(value));
}

ArrayPtr Uint8Row(const std::string& bytes)
{
    ArrayPtr row(mxCreateNumericMatrix(1, bytes.size(), mxUINT8_CLASS, mxREAL));
    std::memcpy(mxGetData(row.get()), bytes.data(), bytes.size());
    return row;
}

double NumberOf(const mxArray* array)
{
    if (array == nullptr || mxGetNumberOfElements(array) != 1) {
        ReportFailure(__FILE__, __LINE__, "not a one-element array");
        return -1;
    }
    return mxGetScalar(array);
}

ArrayPtr PortSettings(int port)
{
    ArrayPtr keyword = Text("default");
    ArrayPtr settings = SettledOf(Quorvel(2, "GetParams", keyword)).settings;
    SetProperty(settings, "Port", Text("COM" + std::to_string(port)));
    return settings;
}

void SetProperty(const ArrayPtr& settings, const std::string& name, ArrayPtr value)
{
    int field = FieldIndex(settings.get(), name);
    if (field < 0)
        return;
    // The replaced value is the caller's again.
    ArrayPtr replaced(mxGetFieldByNumber(settings.get(), 0, field));
    mxSetFieldByNumber(settings.get(), 0, field, value.release());
}

double NumberProperty(const ArrayPtr& settings, const std::string& name)
{
    int field = FieldIndex(settings.get(), name);
    return field < 0 ? -1 : NumberOf(mxGetFieldByNumber(settings.get(), 0, field));
}

Settled Open(const ArrayPtr& settings)
{
    return SettledOf(Quorvel(2, "Open", settings));
}

Settled GetParams(const ArrayPtr& settings)
{
    return SettledOf(Quorvel(2, "GetParams", settings));
}

Settled SetParams(const ArrayPtr& settings)
{
    return SettledOf(Quorvel(2, "SetParams", settings));
}

double Close(const ArrayPtr& settings)
{
    return StatusAt(Quorvel(1, "Close", settings), 1);
}

void CloseAll()
{
    Quorvel(0, "CloseAll");
}

double Write(const ArrayPtr& settings, const std::string& bytes)
{
    return StatusAt(Quorvel(1, "Write", settings, Uint8Row(bytes)), 1);
}

double FlushWrite(const ArrayPtr& settings)
{
    return StatusAt(Quorvel(1, "FlushWrite", settings), 1);
}

double FlushRead(const ArrayPtr& settings)
{
    return StatusAt(Quorvel(1, "FlushRead", settings), 1);
}

ReadResult Read(const ArrayPtr& settings)
{
    Clock::time_point start = Clock::now();
    return ReadResultOf(start, Quorvel(2, "Read", settings));
}

ReadResult Read(const ArrayPtr& settings, double count)
{
    ArrayPtr countArgument = Number(count);
    Clock::time_point start = Clock::now();
    return ReadResultOf(start, Quorvel(2, "Read", settings, countArgument));
}

QueueState GetReadStatus(const ArrayPtr& settings)
{
    return QueueStateOf(Quorvel(2, "GetReadStatus", settings));
}

QueueState GetWriteStatus(const ArrayPtr& settings)
{
    return QueueStateOf(Quorvel(2, "GetWriteStatus", settings));
}

double AwaitWaiting(const ArrayPtr& settings, double bytes, int timeoutMilliseconds)
{
    Clock::time_point start = Clock::now();
    double waiting = GetReadStatus(settings).bytes;
    while (waiting < bytes && SecondsSince(start) * 1000 < timeoutMilliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        waiting = GetReadStatus(settings).bytes;
    }
    return waiting;
}

} // namespace wine_test
