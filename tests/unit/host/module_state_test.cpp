// The module's lock, its exit hook, and unloading by "clear" or host exit.
#include "test_host.h"

#include <gtest/gtest.h>

using namespace test_host;

namespace {

class ModuleState : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        ExitHost();
        EXPECT_EQ(LiveBlockCount(), 0);
        Reset();
    }
};

long firstHookRuns = 0;
long secondHookRuns = 0;
void FirstHook()
{
    ++firstHookRuns;
}
void SecondHook()
{
    ++secondHookRuns;
}

TEST_F(ModuleState, UnlockingBelowZeroIsMisuseAndKeepsTheCountAtZero)
{
    mexLock();
    mexUnlock();
    EXPECT_EQ(MisuseCount(), 0);
    mexUnlock();
    EXPECT_EQ(LockCount(), 0);
    EXPECT_FALSE(mexIsLocked());
    EXPECT_EQ(MisuseCount(), 1);
}

TEST_F(ModuleState, ClearRunsTheLatestHookOnceAndOnlyWhenUnlocked)
{
    firstHookRuns = secondHookRuns = 0;
    mexAtExit(FirstHook);
    mexAtExit(SecondHook);
    EXPECT_EQ(ExitHookRegistrations(), 2);
    mexLock();

    EXPECT_FALSE(ClearModule());
    EXPECT_EQ(secondHookRuns, 0);
    EXPECT_TRUE(ExitHookRegistered());

    mexUnlock();
    EXPECT_TRUE(ClearModule());
    EXPECT_TRUE(ClearModule());
    EXPECT_EQ(firstHookRuns, 0);
    EXPECT_EQ(secondHookRuns, 1);
    EXPECT_EQ(ExitHookRuns(), 1);
    EXPECT_FALSE(ExitHookRegistered());
}

TEST_F(ModuleState, HostExitRunsTheHookEvenWhileLocked)
{
    firstHookRuns = 0;
    mexAtExit(FirstHook);
    mexLock();
    ExitHost();
    EXPECT_EQ(firstHookRuns, 1);
    EXPECT_FALSE(ExitHookRegistered());
}

void* moduleBlock = nullptr;

void KeepABlock(int, mxArray*[], int, const mxArray*[])
{
    moduleBlock = mxCalloc(16, 1);
    mexMakeMemoryPersistent(moduleBlock);
}

// Frees the module's memory, leaves a scratch block and an array behind, then errs.
void UntidyHook()
{
    mxFree(moduleBlock);
    mxCalloc(4, 1);
    mxCreateDoubleScalar(0);
    mexErrMsgTxt("late error");
}

TEST_F(ModuleState, TheHookRunsAsACallWhoseErrorsAreMisuse)
{
    Call(KeepABlock, 0, {});
    ASSERT_EQ(PersistentBlockCount(), 1);
    mexAtExit(UntidyHook);

    EXPECT_TRUE(ClearModule());
    EXPECT_EQ(LiveBlockCount(), 0);
    EXPECT_EQ(LiveArrayCount(), 0);
    ASSERT_EQ(MisuseCount(), 1);
    EXPECT_NE(MisuseLog()[0].find("late error"), std::string::npos);
}

TEST_F(ModuleState, AnErrorRaisedOutsideACallIsMisuseAndStillThrows)
{
    EXPECT_ANY_THROW(mexErrMsgTxt("nobody to catch this"));
    EXPECT_EQ(MisuseCount(), 1);
}

} // namespace
