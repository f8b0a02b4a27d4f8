// The builders other tests rely on make the arrays their names promise.
#include "arrays.h"
#include "test_host.h"

#include <gtest/gtest.h>

using namespace test_host;

namespace {

TEST(SupportArrays, BuildersMakeTheNamedClassAndShape)
{
    const struct {
        const char* builder;
        ArrayPtr array;
        mxClassID classId;
        mwSize rows;
        mwSize columns;
    } cases[] = {
        {"Text", Text("COM2"), mxCHAR_CLASS, 1, 4},
        {"Text empty", Text(""), mxCHAR_CLASS, 0, 0},
        {"CharMatrix", CharMatrix(2, 2, "abcd"), mxCHAR_CLASS, 2, 2},
        {"Number", Number(2), mxDOUBLE_CLASS, 1, 1},
        {"ComplexNumber", ComplexNumber(1, 2), mxDOUBLE_CLASS, 1, 1},
        {"DoubleRow", DoubleRow({1, 2, 3}), mxDOUBLE_CLASS, 1, 3},
        {"EmptyDouble", EmptyDouble(), mxDOUBLE_CLASS, 0, 0},
        {"Int32Scalar", Int32Scalar(-4), mxINT32_CLASS, 1, 1},
        {"Logical", Logical(true), mxLOGICAL_CLASS, 1, 1},
        {"Uint8Row empty", Uint8Row({}), mxUINT8_CLASS, 1, 0},
        {"Uint8Matrix", Uint8Matrix(2, 3, {1, 2, 3, 4, 5, 6}), mxUINT8_CLASS, 2, 3},
        {"Numeric", Numeric(mxINT16_CLASS, 3, 1), mxINT16_CLASS, 3, 1},
        {"Cell", Cell(1, 2), mxCELL_CLASS, 1, 2},
        {"StructArray", StructArray(1, 0, {"Port"}), mxSTRUCT_CLASS, 1, 0},
        {"Struct", Struct({"Port", "Rate"}, Text("COM1"), Number(9600)), mxSTRUCT_CLASS, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.builder);
        ASSERT_NE(c.array, nullptr);
        EXPECT_EQ(mxGetClassID(c.array.get()), c.classId);
        EXPECT_EQ(mxGetM(c.array.get()), c.rows);
        EXPECT_EQ(mxGetN(c.array.get()), c.columns);
    }
}

TEST(SupportArrays, ReadersGiveBackWhatWasBuilt)
{
    const long arraysBefore = LiveArrayCount();
    ArrayPtr settings = StructArray(1, 2, {"Port", "Data"});
    SetField(settings.get(), 1, "Port", Text("COM7"));
    SetField(settings.get(), 1, "Port", Text("COM8"));
    SetField(settings.get(), 1, "Data", Uint8Matrix(2, 2, {1, 2, 3, 4}));

    EXPECT_EQ(FieldNamesOf(settings.get()), (std::vector<std::string>{"Port", "Data"}));
    EXPECT_EQ(FieldOf(settings.get(), "Port", 0), nullptr);
    EXPECT_EQ(FieldOf(settings.get(), "Missing", 1), nullptr);
    EXPECT_EQ(TextOf(FieldOf(settings.get(), "Port", 1)), "COM8");
    EXPECT_EQ(BytesOf(FieldOf(settings.get(), "Data", 1)), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(NumberOf(Int32Scalar(-4).get()), -4);
    EXPECT_EQ(NumberOf(Logical(true).get()), 1);
    EXPECT_TRUE(mxIsComplex(ComplexNumber(1, 2).get()));

    settings.reset();
    EXPECT_EQ(LiveArrayCount(), arraysBefore) << "a replaced field value is not left behind";
}

} // namespace
