// Devices that go away while their ports are open: nothing waits for them,
// failures come back as status bits, and the ports still close.
#include "cases.h"
#include "checks.h"
#include "far_end.h"
#include "module_calls.h"

namespace wine_test {

void FarEndHangUp()
{
    ArrayPtr gone = PortSettings(1);
    ArrayPtr reading = PortSettings(2);
    ArrayPtr writing = PortSettings(3);
    ArrayPtr bystander = PortSettings(4);
    SetProperty(reading, "ReadTimeout", Number(2));
    SetProperty(writing, "WriteTimeout", Number(2));
    for (const ArrayPtr* port : {&gone, &reading, &writing, &bystander})
        EXPECT_EQUAL(Open(*port).status, 0.0);

    FarHangUp(1);
    Timed write = TimedCall([&] { return Write(gone, "anyone?"); });
    EXPECT_EQUAL(write.status, IoFailed);
    EXPECT_WITHIN(write.seconds, 0.0, 0.5);
    EXPECT_EQUAL(GetWriteStatus(gone).status, IoFailed);
    EXPECT_EQUAL(GetReadStatus(gone).status, IoFailed);
    ReadResult counted = Read(gone, 4);
    EXPECT_EQUAL(counted.status, IoFailed);
    EXPECT_WITHIN(counted.seconds, 0.0, 0.5);
    EXPECT_EQUAL(Read(gone).status, IoFailed);
    EXPECT_EQUAL(Close(gone), 0.0);

    // A read under way ends at the hang-up with what came before it.
    FarSend(2, "ab", 50);
    FarHangUp(2, 300);
    ReadResult cut = Read(reading, 10);
    EXPECT_EQUAL(cut.data, std::string("ab"));
    EXPECT_EQUAL(cut.status, TimedOut);
    EXPECT_WITHIN(cut.seconds, 0.2, 1.5);
    EXPECT_EQUAL(Close(reading), 0.0);

    // So does a write in flight: the drain does not wait out its time-out,
    // and reports the write lost, once.
    EXPECT_EQUAL(Write(writing, std::string(256 * 1024, 'x')), Pending);
    FarHangUp(3, 300);
    Timed flush = TimedCall([&] { return FlushWrite(writing); });
    EXPECT_EQUAL(flush.status, IoFailed);
    EXPECT_WITHIN(flush.seconds, 0.2, 1.5);
    EXPECT_EQUAL(Close(writing), 0.0);

    EXPECT_EQUAL(test_host::LockCount(), 1);
    EXPECT_EQUAL(Write(bystander, "still here"), Pending);
    EXPECT_EQUAL(FarReceive(4, 10, 2000), std::string("still here"));
}

} // namespace wine_test
