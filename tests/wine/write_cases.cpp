// Data in both directions and the queue of writes in flight.
#include "cases.h"
#include "checks.h"
#include "far_end.h"
#include "module_calls.h"

namespace wine_test {

namespace {

// Every byte value, so that no byte is taken for a control character.
std::string EveryByte()
{
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes += static_cast<char>(value);
    return bytes;
}

// More than a terminal holds while its far end takes nothing.
std::string Overfill()
{
    std::string bytes(256 * 1024, '\0');
    for (std::size_t at = 0; at < bytes.size(); ++at)
        bytes[at] = static_cast<char>(at * 7 % 251);
    return bytes;
}

} // namespace

void DataBothWays()
{
    ArrayPtr com1 = PortSettings(1);
    EXPECT_EQUAL(Open(com1).status, 0.0);
    EXPECT_EQUAL(Write(com1, EveryByte()), Pending);
    EXPECT_EQUAL(FarReceive(1, 256, 3000), EveryByte());
    FarSend(1, EveryByte());
    EXPECT_EQUAL(AwaitWaiting(com1, 256, 3000), 256.0);
    ReadResult read = Read(com1);
    EXPECT_EQUAL(read.data, EveryByte());
    EXPECT_EQUAL(read.status, 0.0);

    // Each port keeps to its own device.
    ArrayPtr com2 = PortSettings(2);
    ArrayPtr com3 = PortSettings(3);
    EXPECT_EQUAL(Open(com2).status, 0.0);
    EXPECT_EQUAL(Open(com3).status, 0.0);
    EXPECT_EQUAL(Write(com2, "to COM2"), Pending);
    EXPECT_EQUAL(Write(com3, "to COM3"), Pending);
    EXPECT_EQUAL(FarReceive(2, 7, 2000), std::string("to COM2"));
    EXPECT_EQUAL(FarReceive(3, 7, 2000), std::string("to COM3"));
    FarSend(3, "from COM3");
    EXPECT_EQUAL(AwaitWaiting(com3, 9, 3000), 9.0);
    EXPECT_EQUAL(GetReadStatus(com2).bytes, 0.0);
    EXPECT_EQUAL(Read(com3).data, std::string("from COM3"));
}

void QueuedWrites()
{
    ArrayPtr com1 = PortSettings(1);
    SetProperty(com1, "WriteTimeout", Number(5));
    EXPECT_EQUAL(Open(com1).status, 0.0);
    std::string sent;
    for (char mark = 'A'; mark < 'Q'; ++mark) {
        std::string chunk(1000, mark);
        sent += chunk;
        EXPECT_EQUAL(Write(com1, chunk), Pending);
    }
    EXPECT_EQUAL(FlushWrite(com1), 0.0);
    EXPECT_EQUAL(GetWriteStatus(com1).status, 0.0);
    EXPECT_EQUAL(test_host::PersistentBlockCount(), 0);
    EXPECT_EQUAL(FarReceive(1, sent.size(), 5000), sent);

    // A write the far end does not take stays in flight until it does.
    EXPECT_EQUAL(Write(com1, Overfill()), Pending);
    EXPECT_EQUAL(GetWriteStatus(com1).status, Pending);
    EXPECT_EQUAL(FarReceive(1, Overfill().size(), 10000), Overfill());
    EXPECT_EQUAL(FlushWrite(com1), 0.0);
    EXPECT_EQUAL(GetWriteStatus(com1).status, 0.0);
    EXPECT_EQUAL(Close(com1), 0.0);
}

void WriteTimeout()
{
    ArrayPtr com1 = PortSettings(1);
    SetProperty(com1, "WriteTimeout", Number(0.5));
    EXPECT_EQUAL(Open(com1).status, 0.0);
    EXPECT_EQUAL(Write(com1, Overfill()), Pending);
    Timed flush = TimedCall([&] { return FlushWrite(com1); });
    EXPECT_EQUAL(flush.status, TimedOut);
    EXPECT_WITHIN(flush.seconds, 0.5, 3.0);
    // Close gives up as FlushWrite did, and the stuck write goes with the handle.
    Timed close = TimedCall([&] { return Close(com1); });
    EXPECT_EQUAL(close.status, TimedOut);
    EXPECT_WITHIN(close.seconds, 0.5, 3.0);
    EXPECT_EQUAL(test_host::LockCount(), 0);
    EXPECT_EQUAL(test_host::PersistentBlockCount(), 0);
}

} // namespace wine_test
