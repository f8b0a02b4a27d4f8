// The test host playing MATLAB: field lookups on arrays without fields,
// old-style class objects, and running out of memory inside a call.
#include "arrays.h"
#include "test_host.h"

#include <gtest/gtest.h>
#include <string>

using namespace test_host;

namespace {

class MatlabMode : public ::testing::Test {
  protected:
    void SetUp() override
    {
        Reset();
        SetHostMode(HostMode::Matlab);
    }
    void TearDown() override
    {
        SetHostMode(HostMode::Strict);
        EXPECT_EQ(LiveBlockCount(), 0);
        EXPECT_EQ(LiveArrayCount(), 0);
        EXPECT_EQ(MisuseCount(), 0);
        Reset();
    }
};

struct FieldAnswers {
    int count = -1;
    const char* name = "unset";
    const mxArray* value = nullptr;
    bool continued = false;
};
FieldAnswers answers;

void AskForFieldsOfArgument(int, mxArray*[], int, const mxArray* prhs[])
{
    answers = FieldAnswers{};
    answers.count = mxGetNumberOfFields(prhs[0]);
    answers.name = mxGetFieldNameByNumber(prhs[0], 0);
    answers.value = mxGetFieldByNumber(prhs[0], 0, 0);
    answers.continued = true;
}

TEST_F(MatlabMode, FieldLookupsOnArraysWithoutFieldsAnswerNothingAndTheCallGoesOn)
{
    for (const ArrayPtr& withoutFields :
         {Text("BaudRate"), Number(1), EmptyDouble(), Cell(1, 1), Logical(true)}) {
        SCOPED_TRACE(mxGetClassName(withoutFields.get()));
        CallResult result = Call(AskForFieldsOfArgument, 0, {withoutFields.get()});
        EXPECT_FALSE(result.aborted) << result.message;
        EXPECT_TRUE(answers.continued);
        EXPECT_EQ(answers.count, 0);
        EXPECT_EQ(answers.name, nullptr);
        EXPECT_EQ(answers.value, nullptr);
    }
}

TEST_F(MatlabMode, AnObjectHoldsFieldsWithoutBeingAStructure)
{
    ArrayPtr object = Struct({"Port", "BaudRate"}, Text("COM3"), Number(9600));
    MakeObjectOf(object.get(), "vantrel");

    EXPECT_FALSE(mxIsStruct(object.get()));
    const int classId = mxGetClassID(object.get());
    EXPECT_TRUE(classId < mxUNKNOWN_CLASS || classId > mxFUNCTION_CLASS) << classId;
    EXPECT_STREQ(mxGetClassName(object.get()), "vantrel");
    CallResult result = Call(AskForFieldsOfArgument, 0, {object.get()});
    EXPECT_FALSE(result.aborted) << result.message;
    EXPECT_EQ(answers.count, 2);
    EXPECT_STREQ(answers.name, "Port");
    EXPECT_EQ(TextOf(answers.value), "COM3");

    // A strict host has no such objects: to it this is a non-structure.
    SetHostMode(HostMode::Strict);
    result = Call(AskForFieldsOfArgument, 0, {object.get()});
    EXPECT_TRUE(result.aborted);
    EXPECT_FALSE(answers.continued);
    EXPECT_EQ(MisuseCount(), 1);
    Reset();
    EXPECT_EQ(CurrentHostMode(), HostMode::Strict) << "Reset() keeps the mode";
}

bool reachedAfterFailure = false;
void* keptBlock = nullptr;
void (*failingRequest)() = nullptr;

// The third allocation and the third array creation of the call are the failing request.
void KeepOneBlockThenFail(int, mxArray* plhs[], int, const mxArray*[])
{
    reachedAfterFailure = false;
    keptBlock = mxCalloc(4, 1);
    mexMakeMemoryPersistent(keptBlock);
    mxCalloc(4, 1);
    mxCreateDoubleScalar(1);
    plhs[0] = mxCreateDoubleScalar(2);
    failingRequest();
    reachedAfterFailure = true;
}

TEST_F(MatlabMode, RunningOutOfMemoryEndsTheCallInsideTheHostAndFreesItsMemory)
{
    const struct {
        const char* what;
        void (*arm)(long);
        void (*request)();
    } requests[] = {
        {"mxCalloc", FailNthAllocation, [] { mxCalloc(8, 1); }},
        {"mxCreateStructMatrix", FailNthArrayCreation, [] { mxCreateStructMatrix(1, 1, 0, nullptr); }},
        {"mxCreateString", FailNthArrayCreation, [] { mxCreateString("x"); }},
    };
    for (const auto& request : requests) {
        SCOPED_TRACE(request.what);
        failingRequest = request.request;
        request.arm(3);
        CallResult result = Call(KeepOneBlockThenFail, 1, {});
        EXPECT_TRUE(result.aborted);
        EXPECT_EQ(result.message, HostOutOfMemoryMessage);
        EXPECT_FALSE(reachedAfterFailure);
        EXPECT_EQ(result.outputs[0], nullptr);
        EXPECT_EQ(LiveArrayCount(), 0);
        EXPECT_EQ(LiveBlockCount(), 1);
        EXPECT_EQ(PersistentBlockCount(), 1);
        mxFree(keptBlock);
        Reset();
    }
}

TEST_F(MatlabMode, OutsideACallAFailedAllocationReturnsNull)
{
    FailNthAllocation(1);
    EXPECT_EQ(mxCalloc(1, 1), nullptr);
    FailNthArrayCreation(1);
    EXPECT_EQ(mxCreateDoubleMatrix(1, 1, mxREAL), nullptr);
}

} // namespace
