// The module over a pseudo-terminal against a raw termios client on a pair of
// its own, in the same run: round trip of a 16-byte message through an echo
// peer, and 1 MiB one way in each direction.
#include "host_api.h"
#include "test_host.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
using test_host::ArrayPtr;

constexpr int RoundTrips = 2000;
constexpr int Warmup = 200;
constexpr std::size_t MessageSize = 16;
constexpr std::size_t StreamSize = 1 << 20;
constexpr int StreamRuns = 11;
constexpr double RoundTripTarget = 1.3;
constexpr double ThroughputTarget = 0.8;

[[noreturn]] void Die(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * (values.size() - 1))];
}

double Median(const std::vector<double>& values)
{
    return Percentile(values, 0.5);
}

struct PtyPair {
    int master;
    std::string slavePath;
};

PtyPair OpenPair()
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        Die("posix_openpt");
    return {master, ptsname(master)};
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0)
            Die("write");
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void ReadAll(int fd, std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t got = read(fd, data, size);
        if (got <= 0)
            Die("read");
        data += got;
        size -= static_cast<std::size_t>(got);
    }
}

// The instrument on the master side: sends back every byte it receives.
class EchoPeer {
  public:
    explicit EchoPeer(int master) : master_(master), stop_(eventfd(0, EFD_CLOEXEC))
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~EchoPeer()
    {
        const std::uint64_t one = 1;
        static_cast<void>(write(stop_, &one, sizeof one));
        thread_.join();
        close(stop_);
    }

  private:
    void Run()
    {
        std::uint8_t buffer[4096];
        pollfd watched[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
        while (poll(watched, 2, -1) > 0 && watched[1].revents == 0) {
            ssize_t got = read(master_, buffer, sizeof buffer);
            if (got > 0)
                WriteAll(master_, buffer, static_cast<std::size_t>(got));
        }
    }

    int master_;
    int stop_;
    std::thread thread_;
};

class RawClient {
  public:
    explicit RawClient(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        termios settings{};
        if (fd_ < 0 || tcgetattr(fd_, &settings) != 0)
            Die("raw client open");
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        if (tcsetattr(fd_, TCSANOW, &settings) != 0)
            Die("raw client tcsetattr");
    }
    ~RawClient() { close(fd_); }

    void RoundTrip(const Bytes& message, Bytes& reply)
    {
        WriteAll(fd_, message.data(), message.size());
        ReadAll(fd_, reply.data(), reply.size());
    }
    void Send(const Bytes& data) { WriteAll(fd_, data.data(), data.size()); }
    void Receive(Bytes& data) { ReadAll(fd_, data.data(), data.size()); }

  private:
    int fd_;
};

ArrayPtr NewText(const char* text)
{
    return ArrayPtr(mxCreateString(text));
}

ArrayPtr NewNumber(double value)
{
    return ArrayPtr(mxCreateDoubleScalar(value));
}

ArrayPtr NewBytes(const Bytes& bytes)
{
    ArrayPtr array(mxCreateNumericMatrix(1, bytes.size(), mxUINT8_CLASS, mxREAL));
    std::memcpy(mxGetData(array.get()), bytes.data(), bytes.size());
    return array;
}

int StatusOf(const test_host::CallResult& result, std::size_t position)
{
    if (result.aborted || result.outputs.size() < position || !result.outputs[position - 1])
        throw std::runtime_error("module call failed: " + result.message);
    return static_cast<int>(mxGetScalar(result.outputs[position - 1].get()));
}

// COM1 of the module, as a script would drive it.
class ModuleClient {
  public:
    ModuleClient()
    {
        test_host::CallResult defaults =
            test_host::Call(mexFunction, 1, {NewText("GetParams").get(), NewText("default").get()});
        settings_ = std::move(defaults.outputs[0]);
        mxSetFieldByNumber(settings_.get(), 0, 0, mxCreateString("COM1"));
        mxSetFieldByNumber(settings_.get(), 0, 14, mxCreateDoubleScalar(5.0)); // ReadTimeout, seconds
        if (StatusOf(Call(2, "Open"), 2) != 0)
            throw std::runtime_error("Open failed");
    }
    ~ModuleClient() { test_host::Call(mexFunction, 0, {NewText("CloseAll").get()}); }

    void RoundTrip(const ArrayPtr& message, const ArrayPtr& count, Bytes& reply)
    {
        Expect(StatusOf(Call(1, "Write", message.get()), 1), 4, "Write");
        test_host::CallResult read = Call(2, "Read", count.get());
        Expect(StatusOf(read, 2), 0, "Read");
        std::memcpy(reply.data(), mxGetData(read.outputs[0].get()), reply.size());
    }
    void StartWrite(const ArrayPtr& data) { Expect(StatusOf(Call(1, "Write", data.get()), 1), 4, "Write"); }
    void Drain() { Expect(StatusOf(Call(1, "FlushWrite"), 1), 0, "FlushWrite"); }
    void Receive(const ArrayPtr& count) { Expect(StatusOf(Call(2, "Read", count.get()), 2), 0, "Read"); }

  private:
    test_host::CallResult Call(int nlhs, const char* command, const mxArray* extra = nullptr)
    {
        ArrayPtr name = NewText(command);
        std::vector<const mxArray*> arguments = {name.get(), settings_.get()};
        if (extra != nullptr)
            arguments.push_back(extra);
        return test_host::Call(mexFunction, nlhs, arguments);
    }
    static void Expect(int status, int expected, const char* command)
    {
        if (status != expected)
            throw std::runtime_error(std::string(command) + " returned status " + std::to_string(status));
    }

    ArrayPtr settings_;
};

struct Figures {
    std::vector<double> rawRoundTrips, moduleRoundTrips;
    std::vector<double> rawWrites, moduleWrites, rawReads, moduleReads;
};

// The two clients take turns message by message, so that whatever else the
// machine does at the time weighs on both alike.
void MeasureRoundTrips(RawClient& raw, ModuleClient& module, Figures& figures)
{
    Bytes message(MessageSize);
    for (std::size_t i = 0; i < MessageSize; ++i)
        message[i] = static_cast<std::uint8_t>('a' + i);
    const ArrayPtr messageArray = NewBytes(message);
    const ArrayPtr count = NewNumber(MessageSize);
    Bytes reply(MessageSize);
    for (int i = 0; i < Warmup + RoundTrips; ++i) {
        auto start = Clock::now();
        raw.RoundTrip(message, reply);
        auto middle = Clock::now();
        module.RoundTrip(messageArray, count, reply);
        auto end = Clock::now();
        if (reply != message)
            throw std::runtime_error("the module's echo came back damaged");
        if (i < Warmup)
            continue;
        figures.rawRoundTrips.push_back(Seconds(middle - start));
        figures.moduleRoundTrips.push_back(Seconds(end - middle));
    }
}

// Seconds for `send` until the far end has taken `StreamSize` bytes.
template <class Send> double TimeOutgoing(int master, Send send)
{
    Bytes sink(StreamSize);
    const auto start = Clock::now();
    std::thread peer([&] { ReadAll(master, sink.data(), sink.size()); });
    send();
    peer.join();
    return Seconds(Clock::now() - start);
}

// Seconds for `receive` to take `StreamSize` bytes the far end sends.
template <class Receive> double TimeIncoming(int master, const Bytes& stream, Receive receive)
{
    const auto start = Clock::now();
    std::thread peer([&] { WriteAll(master, stream.data(), stream.size()); });
    receive();
    const double elapsed = Seconds(Clock::now() - start);
    peer.join();
    return elapsed;
}

void MeasureStreams(RawClient& raw, int rawMaster, ModuleClient& module, int moduleMaster, Figures& figures)
{
    Bytes stream(StreamSize);
    for (std::size_t i = 0; i < StreamSize; ++i)
        stream[i] = static_cast<std::uint8_t>(i * 31 + i / 257);
    const ArrayPtr streamArray = NewBytes(stream);
    const ArrayPtr count = NewNumber(StreamSize);
    Bytes received(StreamSize);
    for (int run = 0; run < StreamRuns; ++run) {
        figures.rawWrites.push_back(TimeOutgoing(rawMaster, [&] { raw.Send(stream); }));
        figures.moduleWrites.push_back(TimeOutgoing(moduleMaster, [&] { module.StartWrite(streamArray); }));
        module.Drain();
        figures.rawReads.push_back(TimeIncoming(rawMaster, stream, [&] { raw.Receive(received); }));
        figures.moduleReads.push_back(TimeIncoming(moduleMaster, stream, [&] { module.Receive(count); }));
    }
}

void Report(const Figures& figures)
{
    const double rawTrip = Median(figures.rawRoundTrips) * 1e6;
    const double moduleTrip = Median(figures.moduleRoundTrips) * 1e6;
    std::printf("round trip, %zu bytes, median of %zu:\n", MessageSize, figures.moduleRoundTrips.size());
    for (auto client : {std::make_pair("raw client", &figures.rawRoundTrips),
                        std::make_pair("module    ", &figures.moduleRoundTrips)})
        std::printf("  %s %8.1f us   (10%%: %.1f, 90%%: %.1f)\n", client.first, Median(*client.second) * 1e6,
                    Percentile(*client.second, 0.1) * 1e6, Percentile(*client.second, 0.9) * 1e6);
    std::printf("  ratio      %8.2f  (target <= %.1f: %s)\n", moduleTrip / rawTrip, RoundTripTarget,
                moduleTrip / rawTrip <= RoundTripTarget ? "met" : "MISSED");
    const double mebibyte = StreamSize / 1048576.0;
    struct Stream {
        const char* name;
        const std::vector<double>& raw;
        const std::vector<double>& module;
    } streams[] = {{"write (module -> far end)", figures.rawWrites, figures.moduleWrites},
                   {"read (far end -> module)", figures.rawReads, figures.moduleReads}};
    for (const Stream& s : streams) {
        const double raw = mebibyte / Median(s.raw);
        const double module = mebibyte / Median(s.module);
        std::printf("throughput, 1 MiB %s, median of %d:\n", s.name, StreamRuns);
        std::printf("  raw client %8.1f MiB/s\n  module     %8.1f MiB/s\n", raw, module);
        std::printf("  ratio      %8.2f  (target >= %.1f: %s)\n", module / raw, ThroughputTarget,
                    module / raw >= ThroughputTarget ? "met" : "MISSED");
    }
}

} // namespace

int main()
{
    try {
        const PtyPair rawPair = OpenPair();
        const PtyPair modulePair = OpenPair();
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / ("quorvel-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        std::filesystem::create_symlink(modulePair.slavePath, folder / "com1");
        setenv("QUORVEL_DEVICES", folder.c_str(), 1);

        Figures figures;
        {
            RawClient raw(rawPair.slavePath);
            ModuleClient module;
            {
                EchoPeer rawEcho(rawPair.master);
                EchoPeer moduleEcho(modulePair.master);
                MeasureRoundTrips(raw, module, figures);
            }
            MeasureStreams(raw, rawPair.master, module, modulePair.master, figures);
        }
        std::filesystem::remove_all(folder);
        Report(figures);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "tty_bench: %s\n", failure.what());
        return 1;
    }
}
