// Reads of a count or of what is waiting, their time-outs, and the purge of
// input. Every read here ends by its count or by the line falling silent
// for the read time-out: a read that no byte ever reaches ends on Windows by
// the purge that aborts it, which Wine does not do.
#include "cases.h"
#include "checks.h"
#include "far_end.h"
#include "module_calls.h"

namespace wine_test {

void CountedReads()
{
    ArrayPtr com1 = PortSettings(1);
    SetProperty(com1, "ReadTimeout", Number(1));
    EXPECT_EQUAL(Open(com1).status, 0.0);
    FarSend(1, "0123456789");
    EXPECT_EQUAL(AwaitWaiting(com1, 10, 3000), 10.0);
    ReadResult first = Read(com1, 4);
    EXPECT_EQUAL(first.data, std::string("0123"));
    EXPECT_EQUAL(first.status, Pending); // six more are waiting
    EXPECT_WITHIN(first.seconds, 0.0, 0.5);
    QueueState waiting = GetReadStatus(com1);
    EXPECT_EQUAL(waiting.bytes, 6.0);
    EXPECT_EQUAL(waiting.status, Pending);
    ReadResult rest = Read(com1, 6);
    EXPECT_EQUAL(rest.data, std::string("456789"));
    EXPECT_EQUAL(rest.status, 0.0);

    ReadResult nothing = Read(com1);
    EXPECT_EQUAL(nothing.data, std::string());
    EXPECT_EQUAL(nothing.status, 0.0);
    EXPECT_WITHIN(nothing.seconds, 0.0, 0.5);

    // Bytes that keep coming within the time-out fill the count, and the
    // read ends with the last of them rather than after another time-out.
    FarSend(1, "ab", 150);
    FarSend(1, "cd", 300);
    FarSend(1, "ef", 450);
    ReadResult bursts = Read(com1, 6);
    EXPECT_EQUAL(bursts.data, std::string("abcdef"));
    EXPECT_EQUAL(bursts.status, 0.0);
    EXPECT_WITHIN(bursts.seconds, 0.4, 1.4);
}

void IntervalTimeouts()
{
    ArrayPtr com1 = PortSettings(1);
    SetProperty(com1, "ReadTimeout", Number(0.5));
    EXPECT_EQUAL(Open(com1).status, 0.0);

    FarSend(1, "abc");
    EXPECT_EQUAL(AwaitWaiting(com1, 3, 3000), 3.0);
    ReadResult waiting = Read(com1, 10);
    EXPECT_EQUAL(waiting.data, std::string("abc"));
    EXPECT_EQUAL(waiting.status, TimedOut);
    EXPECT_WITHIN(waiting.seconds, 0.45, 1.5);

    FarSend(1, "de", 100);
    ReadResult arriving = Read(com1, 10);
    EXPECT_EQUAL(arriving.data, std::string("de"));
    EXPECT_EQUAL(arriving.status, TimedOut);
    EXPECT_WITHIN(arriving.seconds, 0.45, 1.5);

    // A pause longer than the time-out ends the read; what follows it waits
    // for the next one.
    FarSend(1, "fg", 100);
    FarSend(1, "hi", 2100);
    ReadResult beforePause = Read(com1, 4);
    EXPECT_EQUAL(beforePause.data, std::string("fg"));
    EXPECT_EQUAL(beforePause.status, TimedOut);
    EXPECT_EQUAL(AwaitWaiting(com1, 2, 3000), 2.0);
    ReadResult afterPause = Read(com1, 2);
    EXPECT_EQUAL(afterPause.data, std::string("hi"));
    EXPECT_EQUAL(afterPause.status, 0.0);
}

void InputPurge()
{
    ArrayPtr com1 = PortSettings(1);
    EXPECT_EQUAL(Open(com1).status, 0.0);
    FarSend(1, std::string(100, 'x'));
    EXPECT_EQUAL(AwaitWaiting(com1, 100, 3000), 100.0);
    EXPECT_EQUAL(GetReadStatus(com1).status, Pending);

    EXPECT_EQUAL(FlushRead(com1), 0.0);
    QueueState purged = GetReadStatus(com1);
    EXPECT_EQUAL(purged.bytes, 0.0);
    EXPECT_EQUAL(purged.status, 0.0);
    EXPECT_EQUAL(Read(com1).data, std::string());

    FarSend(1, "after");
    EXPECT_EQUAL(AwaitWaiting(com1, 5, 3000), 5.0);
    EXPECT_EQUAL(Read(com1).data, std::string("after"));
}

} // namespace wine_test
