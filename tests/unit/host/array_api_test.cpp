// The array and memory calls where the test host is stricter than a lenient host.
#include "arrays.h"
#include "test_host.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

using namespace test_host;

namespace {

class ArrayApi : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        EXPECT_EQ(LiveBlockCount(), 0);
        EXPECT_EQ(LiveArrayCount(), 0);
        Reset();
    }
};

TEST_F(ArrayApi, GetStringCopiesWholeTextsOnlyAndOtherwiseLeavesTheBufferAlone)
{
    ArrayPtr port = Text("COM1");
    ArrayPtr empty = Text("");
    ArrayPtr number = Number(1);
    const struct {
        const char* name;
        const mxArray* array;
        mwSize size;
        int status;
        std::string buffer;
    } cases[] = {
        {"fits with room", port.get(), 8, 0, std::string("COM1\0###", 8)},
        {"fits exactly", port.get(), 5, 0, std::string("COM1\0###", 8)},
        {"no room for terminator", port.get(), 4, 1, "########"},
        {"size zero", port.get(), 0, 1, "########"},
        {"empty text", empty.get(), 1, 0, std::string("\0#######", 8)},
        {"not char", number.get(), 8, 1, "########"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(mxGetString(c.array, buffer, c.size), c.status);
        EXPECT_EQ(std::string(buffer, sizeof buffer), c.buffer);
    }
}

TEST_F(ArrayApi, TextBytesMapToCharactersUnsignedAndBackByTheLowEightBits)
{
    ArrayPtr text = Text("\xE9");
    EXPECT_EQ(mxGetChars(text.get())[0], u'\u00E9');

    const mwSize oneByOne[] = {1, 1};
    ArrayPtr wide(mxCreateCharArray(2, oneByOne));
    mxGetChars(wide.get())[0] = u'\u0141';
    char buffer[2];
    ASSERT_EQ(mxGetString(wide.get(), buffer, sizeof buffer), 0);
    EXPECT_EQ(buffer[0], 'A');
}

bool continuedAfterMisuse = false;
void (*fieldLookup)(const mxArray*) = nullptr;

void LookUpFieldOfArgument(int, mxArray*[], int, const mxArray* prhs[])
{
    continuedAfterMisuse = false;
    fieldLookup(prhs[0]);
    continuedAfterMisuse = true;
}

TEST_F(ArrayApi, FieldCallsOnANonStructureAreLoggedAndAbortTheCall)
{
    const struct {
        const char* function;
        void (*lookup)(const mxArray*);
    } cases[] = {
        {"mxGetNumberOfFields", [](const mxArray* a) { mxGetNumberOfFields(a); }},
        {"mxGetFieldNameByNumber", [](const mxArray* a) { mxGetFieldNameByNumber(a, 0); }},
        {"mxGetFieldByNumber", [](const mxArray* a) { mxGetFieldByNumber(a, 0, 0); }},
        {"mxSetFieldByNumber",
         [](const mxArray* a) { mxSetFieldByNumber(const_cast<mxArray*>(a), 0, 0, nullptr); }},
    };
    ArrayPtr notAStructure = Text("BaudRate");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        Reset();
        fieldLookup = c.lookup;
        CallResult result = Call(LookUpFieldOfArgument, 0, {notAStructure.get()});
        EXPECT_TRUE(result.aborted);
        EXPECT_FALSE(continuedAfterMisuse);
        EXPECT_NE(result.message.find(c.function), std::string::npos);
        ASSERT_EQ(MisuseCount(), 1);
        EXPECT_NE(MisuseLog()[0].find(c.function), std::string::npos);
    }
}

TEST_F(ArrayApi, IndexesBeyondAStructureGiveNullAndOnlyElementIndexesAreMisuse)
{
    ArrayPtr empty = StructArray(1, 0, {"Port"});
    ArrayPtr settings = Struct({"Port"}, Text("COM1"));

    EXPECT_EQ(mxGetFieldNameByNumber(settings.get(), 1), nullptr);
    EXPECT_EQ(MisuseCount(), 0);

    EXPECT_EQ(mxGetFieldByNumber(empty.get(), 0, 0), nullptr);
    EXPECT_EQ(mxGetFieldByNumber(settings.get(), 1, 0), nullptr);
    EXPECT_EQ(MisuseCount(), 2);
}

TEST_F(ArrayApi, AStructureCopiesItsFieldNamesAndOwnsItsFieldValues)
{
    char name[] = "Parity";
    const char* names[] = {name};
    ArrayPtr outer(mxCreateStructMatrix(1, 2, 1, names));
    std::strcpy(name, "Broken");
    mxSetFieldByNumber(outer.get(), 1, 0, Struct({"Inner"}, Number(1)).release());
    EXPECT_EQ(FieldNamesOf(outer.get()), std::vector<std::string>{"Parity"});
    EXPECT_EQ(NumberOf(FieldOf(FieldOf(outer.get(), "Parity", 1), "Inner")), 1);
    EXPECT_EQ(LiveArrayCount(), 3);

    outer.reset();
    EXPECT_EQ(LiveArrayCount(), 0);
    EXPECT_EQ(MisuseCount(), 0);
}

TEST_F(ArrayApi, FreeingWhatTheHostDidNotGiveOutIsMisuse)
{
    int notHostMemory = 0;
    void* block = mxMalloc(4);
    mxFree(block);
    mxFree(nullptr);
    EXPECT_EQ(MisuseCount(), 0);

    mxFree(block);
    mxFree(&notHostMemory);
    EXPECT_EQ(MisuseCount(), 2);
}

TEST_F(ArrayApi, AnArrayDoesNotFreeDataThatWasFreedBeforeIt)
{
    ArrayPtr empty = Uint8Row({});
    ASSERT_NE(mxGetData(empty.get()), nullptr) << "an empty array owns a real block";
    mxFree(mxGetData(empty.get()));
    empty.reset();
    EXPECT_EQ(MisuseCount(), 0);
}

} // namespace
