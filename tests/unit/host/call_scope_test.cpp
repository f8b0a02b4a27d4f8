// What a call keeps and what the host frees when it ends, aborts and faults.
#include "arrays.h"
#include "test_host.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace test_host;

namespace {

class CallScope : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        EXPECT_EQ(LiveBlockCount(), 0);
        EXPECT_EQ(LiveArrayCount(), 0);
        EXPECT_EQ(MisuseCount(), 0);
    }
};

bool abortAtEnd = false;
void* keptBlock = nullptr;

void AllocateEveryWay(int, mxArray* plhs[], int, const mxArray*[])
{
    mxCalloc(8, 1);
    keptBlock = mxCalloc(8, 1);
    mexMakeMemoryPersistent(keptBlock);
    mxCreateDoubleScalar(1);
    plhs[0] = mxCreateDoubleScalar(2);
    if (abortAtEnd)
        mexErrMsgTxt("stopped");
}

TEST_F(CallScope, OnlyPersistentBlocksAndReturnedArraysOutliveTheCall)
{
    for (bool aborts : {false, true}) {
        SCOPED_TRACE(aborts ? "aborted call" : "normal return");
        abortAtEnd = aborts;
        CallResult result = Call(AllocateEveryWay, 1, {});

        EXPECT_EQ(result.aborted, aborts);
        EXPECT_EQ(result.message, aborts ? "stopped" : "");
        ASSERT_EQ(result.outputs.size(), 1u);
        if (aborts) {
            EXPECT_EQ(result.outputs[0], nullptr) << "an aborted call returns nothing";
        } else {
            EXPECT_EQ(NumberOf(result.outputs[0].get()), 2);
        }
        EXPECT_EQ(LiveArrayCount(), aborts ? 0 : 1);
        EXPECT_EQ(LiveBlockCount(), 1);
        EXPECT_EQ(PersistentBlockCount(), 1);

        mxFree(keptBlock);
        EXPECT_EQ(PersistentBlockCount(), 0);
    }
}

bool freeOldData = false;
void* oldData = nullptr;

// Widens an empty uint8 row to hold a call block, the way the module returns read data.
void ReturnRowOfCallBlock(int, mxArray* plhs[], int, const mxArray*[])
{
    const mwSize emptyRow[] = {1, 0};
    mxArray* row = mxCreateNumericArray(2, emptyRow, mxUINT8_CLASS, mxREAL);
    auto* bytes = static_cast<std::uint8_t*>(mxCalloc(3, 1));
    const std::uint8_t content[] = {7, 8, 9};
    std::memcpy(bytes, content, sizeof content);
    oldData = mxGetData(row);
    if (freeOldData)
        mxFree(oldData);
    mxSetN(row, 3);
    mxSetData(row, bytes);
    plhs[0] = row;
}

TEST_F(CallScope, ReplacedArrayDataLeaksUnlessFreedFirst)
{
    for (bool freesFirst : {true, false}) {
        SCOPED_TRACE(freesFirst ? "old data freed" : "old data left");
        freeOldData = freesFirst;
        CallResult result = Call(ReturnRowOfCallBlock, 1, {});

        EXPECT_EQ(BytesOf(result.outputs[0].get()), (std::vector<std::uint8_t>{7, 8, 9}));
        EXPECT_EQ(LiveBlockCount(), freesFirst ? 0 : 1);
        result.outputs.clear();
        EXPECT_EQ(LiveBlockCount(), freesFirst ? 0 : 1) << "the handed-over block goes with its array";

        if (!freesFirst)
            mxFree(oldData);
    }
}

void TryToDestroyArgument(int, mxArray*[], int, const mxArray* prhs[])
{
    mxDestroyArray(const_cast<mxArray*>(prhs[0]));
    mxSetN(const_cast<mxArray*>(prhs[0]), 5);
}

TEST_F(CallScope, WhatTheTestMadeStaysTheTestsAndCannotBeChangedByTheCall)
{
    void* testBlock = mxCalloc(4, 1);
    ArrayPtr argument = Number(3);

    CallResult result = Call(TryToDestroyArgument, 0, {argument.get()});

    EXPECT_FALSE(result.aborted);
    EXPECT_EQ(LiveBlockCount(), 1);
    EXPECT_EQ(mxGetN(argument.get()), 1u);
    EXPECT_EQ(NumberOf(argument.get()), 3);
    EXPECT_EQ(MisuseCount(), 2);
    mxFree(testBlock);
    Reset();
}

std::size_t nullSlots = 0;

void CountNullSlots(int nlhs, mxArray* plhs[], int, const mxArray*[])
{
    nullSlots = 0;
    for (int slot = 0; slot < std::max(nlhs, 1); ++slot)
        nullSlots += plhs[slot] == nullptr ? 1 : 0;
}

TEST_F(CallScope, OutputSlotsAreAtLeastOneAndStartNull)
{
    const struct {
        int nlhs;
        std::size_t slots;
    } cases[] = {{0, 1}, {1, 1}, {3, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nlhs);
        CallResult result = Call(CountNullSlots, c.nlhs, {});
        EXPECT_EQ(nullSlots, c.slots);
        EXPECT_EQ(result.outputs.size(), c.slots);
    }
}

void RaiseHostError(int, mxArray*[], int, const mxArray*[])
{
    mexErrMsgTxt("Bad port.");
}
void ThrowStandardException(int, mxArray*[], int, const mxArray*[])
{
    throw std::runtime_error("boom");
}
void ThrowSomethingElse(int, mxArray*[], int, const mxArray*[])
{
    throw 42;
}

TEST_F(CallScope, AbortsCarryTheirMessageAndEscapedExceptionsAreMisuse)
{
    const struct {
        MexEntry entry;
        const char* message;
        bool misuse;
    } cases[] = {
        {RaiseHostError, "Bad port.", false},
        {ThrowStandardException, "boom", true},
        {ThrowSomethingElse, "unknown exception", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Reset();
        CallResult result = Call(c.entry, 1, {});
        EXPECT_TRUE(result.aborted);
        EXPECT_EQ(result.message, c.message);
        ASSERT_EQ(MisuseCount(), c.misuse ? 1 : 0);
        if (c.misuse) {
            EXPECT_NE(MisuseLog()[0].find("exception escaped mexFunction"), std::string::npos);
        }
    }
    Reset();
}

bool swallowed = false;

void CatchStandardExceptions(int, mxArray*[], int, const mxArray*[])
{
    try {
        mexErrMsgTxt("must abort");
    } catch (const std::exception&) {
        swallowed = true;
    }
}

TEST_F(CallScope, AHostAbortIsNotAStandardException)
{
    CallResult result = Call(CatchStandardExceptions, 0, {});
    EXPECT_TRUE(result.aborted);
    EXPECT_FALSE(swallowed);
}

std::vector<bool> granted;

void AllocateThreeBlocks(int, mxArray*[], int, const mxArray*[])
{
    for (int attempt = 0; attempt < 3; ++attempt)
        granted.push_back(mxMalloc(1) != nullptr);
}

void CreateThreeArrays(int, mxArray*[], int, const mxArray*[])
{
    granted.push_back(mxCreateString("a") != nullptr);
    const char* names[] = {"x"};
    granted.push_back(mxCreateStructMatrix(1, 1, 1, names) != nullptr);
    granted.push_back(mxCreateLogicalScalar(true) != nullptr);
}

TEST_F(CallScope, AnArmedFaultFailsOnlyTheNthAttemptCountedAcrossCalls)
{
    const struct {
        const char* kind;
        void (*arm)(long);
        long (*attempts)();
        MexEntry entry;
    } cases[] = {
        {"allocation", FailNthAllocation, AllocationsMade, AllocateThreeBlocks},
        {"array creation", FailNthArrayCreation, ArrayCreationsMade, CreateThreeArrays},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        Reset();
        granted.clear();
        c.arm(5);
        Call(c.entry, 0, {});
        Call(c.entry, 0, {});
        Call(c.entry, 0, {});
        EXPECT_EQ(granted, (std::vector<bool>{true, true, true, true, false, true, true, true, true}));
        EXPECT_EQ(c.attempts(), 9);
    }
}

bool sawInterrupt = false;

void NoteInterrupt(int, mxArray* plhs[], int, const mxArray*[])
{
    sawInterrupt = HostInterruptRequested();
    plhs[0] = mxCreateDoubleScalar(1);
}

TEST_F(CallScope, AnInterruptIsSeenDuringTheCallAndRaisedOnceAsItReturns)
{
    RequestInterrupt();
    CallResult interrupted = Call(NoteInterrupt, 1, {});
    EXPECT_TRUE(sawInterrupt);
    EXPECT_TRUE(interrupted.interrupted);
    EXPECT_FALSE(interrupted.aborted);
    EXPECT_EQ(NumberOf(interrupted.outputs[0].get()), 1) << "kept for the test to inspect";

    CallResult next = Call(NoteInterrupt, 1, {});
    EXPECT_FALSE(sawInterrupt);
    EXPECT_FALSE(next.interrupted);
}

} // namespace
