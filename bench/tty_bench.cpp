// quorvel driven from C++: the module through the in-process test host and
// the POSIX serial backend, on COM1 as $QUORVEL_DEVICES names it. It serves
// the figures that bench.py asks for on standard input, against the same peer
// as every other client (the protocol is in bench.py). Usage: quorvel_tty_bench
#include "host_api.h"
#include "test_host.h"

extern "C" {
#include "pattern.h"
}

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using test_host::ArrayPtr;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Nearest rank, as every client computes it.
double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    std::size_t rank = static_cast<std::size_t>(fraction * values.size() + 0.999999);
    return values[std::max<std::size_t>(rank, 1) - 1];
}

ArrayPtr NewText(const char* text)
{
    return ArrayPtr(mxCreateString(text));
}

ArrayPtr NewNumber(double value)
{
    return ArrayPtr(mxCreateDoubleScalar(value));
}

ArrayPtr NewBytes(const void* bytes, std::size_t size)
{
    ArrayPtr array(mxCreateNumericMatrix(1, size, mxUINT8_CLASS, mxREAL));
    std::memcpy(mxGetData(array.get()), bytes, size);
    return array;
}

// COM1 of the module, as a script drives it: every call names its command
// and passes the settings structure.
class ModuleClient {
  public:
    ModuleClient()
    {
        test_host::CallResult defaults =
            test_host::Call(mexFunction, 1, {NewText("GetParams").get(), NewText("default").get()});
        settings_ = std::move(defaults.outputs[0]);
        mxSetFieldByNumber(settings_.get(), 0, 0, mxCreateString("COM1"));
        mxSetFieldByNumber(settings_.get(), 0, 14, mxCreateDoubleScalar(5.0)); // ReadTimeout, seconds
        Expect(Status(Call(2, open_), 2), 0, "Open");
    }
    ~ModuleClient() { test_host::Call(mexFunction, 0, {closeAll_.get()}); }

    void Write(const ArrayPtr& data) { Expect(Status(Call(1, write_, data.get()), 1), Pending, "Write"); }

    // The bytes read, which must be all of `count`.
    // One output, as the Octave clients read: the data, which must be all of `count`.
    test_host::CallResult Read(const ArrayPtr& count)
    {
        test_host::CallResult read = Call(1, read_, count.get());
        if (read.aborted || !read.outputs[0] ||
            mxGetNumberOfElements(read.outputs[0].get()) !=
                static_cast<std::size_t>(mxGetScalar(count.get())))
            throw std::runtime_error("Read came back short: " + read.message);
        return read;
    }

    // The bytes waiting, the one output the Octave clients ask for too.
    void ReadStatus()
    {
        if (Call(1, readStatus_).outputs[0] == nullptr)
            throw std::runtime_error("GetReadStatus gave no count");
    }

  private:
    static constexpr int Pending = 4;

    test_host::CallResult Call(int outputs, const ArrayPtr& command, const mxArray* extra = nullptr)
    {
        arguments_.assign({command.get(), settings_.get()});
        if (extra != nullptr)
            arguments_.push_back(extra);
        return test_host::Call(mexFunction, outputs, arguments_);
    }

    static int Status(const test_host::CallResult& result, std::size_t position)
    {
        if (result.aborted || result.outputs.size() < position || !result.outputs[position - 1])
            throw std::runtime_error("module call failed: " + result.message);
        return static_cast<int>(mxGetScalar(result.outputs[position - 1].get()));
    }

    static void Expect(int status, int expected, const char* command)
    {
        if (status != expected)
            throw std::runtime_error(std::string(command) + " returned status " + std::to_string(status));
    }

    // Made once, as a script's literals are.
    const ArrayPtr open_ = NewText("Open"), write_ = NewText("Write"), read_ = NewText("Read"),
                   readStatus_ = NewText("GetReadStatus"), closeAll_ = NewText("CloseAll");
    ArrayPtr settings_;
    std::vector<const mxArray*> arguments_; // reused: a call allocates no argument list
};

void TellPeer(ModuleClient& module, char mode, std::size_t count)
{
    const std::string line = mode + (" " + std::to_string(count)) + "\n";
    module.Write(NewBytes(line.data(), line.size()));
    test_host::CallResult ready = module.Read(NewNumber(1));
    if (*static_cast<const char*>(mxGetData(ready.outputs[0].get())) != '!')
        throw std::runtime_error("the peer did not take the command");
}

void RoundTrips(ModuleClient& module, std::size_t size, std::size_t count)
{
    std::vector<std::uint8_t> message(size);
    for (std::size_t i = 0; i < size; ++i)
        message[i] = static_cast<std::uint8_t>('a' + i % 26);
    const ArrayPtr messageArray = NewBytes(message.data(), size);
    const ArrayPtr replySize = NewNumber(size);
    std::vector<double> times(count);
    TellPeer(module, 'E', size * count);
    test_host::CallResult reply;
    for (std::size_t i = 0; i < count; ++i) {
        const Clock::time_point start = Clock::now();
        module.Write(messageArray);
        reply = module.Read(replySize);
        times[i] = SecondsSince(start);
    }
    if (std::memcmp(mxGetData(reply.outputs[0].get()), message.data(), size) != 0)
        throw std::runtime_error("the echo came back damaged");
    std::printf("%.9g %.9g\n", Percentile(times, 0.5), Percentile(times, 0.99));
}

void Send(ModuleClient& module, std::size_t chunk, std::size_t total)
{
    const ArrayPtr data = NewBytes(std::string(chunk, 'x').data(), chunk);
    const ArrayPtr one = NewNumber(1);
    TellPeer(module, 'K', total);
    const Clock::time_point start = Clock::now();
    for (std::size_t sent = 0; sent < total; sent += chunk)
        module.Write(data);
    module.Read(one);
    std::printf("%.9g\n", SecondsSince(start));
}

void Receive(ModuleClient& module, std::size_t chunk, std::size_t total)
{
    const ArrayPtr trigger = NewBytes("T", 1);
    const ArrayPtr count = NewNumber(chunk);
    TellPeer(module, 'S', total);
    const Clock::time_point start = Clock::now();
    module.Write(trigger);
    test_host::CallResult last;
    for (std::size_t got = 0; got < total; got += chunk)
        last = module.Read(count);
    const double elapsed = SecondsSince(start);
    if (static_cast<const std::uint8_t*>(mxGetData(last.outputs[0].get()))[chunk - 1] !=
        bench_pattern(total - 1))
        throw std::runtime_error("the stream came in damaged");
    std::printf("%.9g\n", elapsed);
}

void StatusQueries(ModuleClient& module, std::size_t count)
{
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < count; ++i)
        module.ReadStatus();
    std::printf("%.9g\n", SecondsSince(start) / count);
}

void Serve(ModuleClient& module)
{
    std::string figure;
    std::size_t first = 0, second = 0;
    while (std::cin >> figure && figure != "quit") {
        if (figure == "roundtrip" && std::cin >> first >> second)
            RoundTrips(module, first, second);
        else if (figure == "send" && std::cin >> first >> second)
            Send(module, first, second);
        else if (figure == "receive" && std::cin >> first >> second)
            Receive(module, first, second);
        else if (figure == "status" && std::cin >> first)
            StatusQueries(module, first);
        else
            throw std::runtime_error("unknown figure " + figure);
        std::fflush(stdout);
    }
}

} // namespace

int main()
{
    try {
        ModuleClient module;
        Serve(module);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "quorvel C++ client: %s\n", failure.what());
        return 1;
    }
}
