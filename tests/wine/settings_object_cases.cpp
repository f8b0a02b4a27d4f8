// Settings objects of the host class: MATLAB hands the module vantrel
// objects, and answers field lookups on other arrays with 0 or null.
#include "cases.h"
#include "checks.h"
#include "far_end.h"
#include "module_calls.h"

namespace wine_test {

namespace {

const std::string ObjectMessage = "The second input argument must be a \"vantrel\" object.";

} // namespace

void SettingsObjects()
{
    ArrayPtr object = PortSettings(1);
    SetProperty(object, "BaudRate", Number(38400));
    test_host::MakeObjectOf(object.get(), "vantrel");
    Settled opened = Open(object);
    EXPECT_EQUAL(opened.status, 0.0);
    EXPECT_EQUAL(NumberProperty(opened.settings, "BaudRate"), 38400.0);
    EXPECT_EQUAL(FarLineSettings(1).baudRate, 38400);
    EXPECT_EQUAL(Write(object, "object"), 4.0);
    EXPECT_EQUAL(FarReceive(1, 6, 2000), std::string("object"));
    EXPECT_EQUAL(Close(object), 0.0);

    ArrayPtr structure = PortSettings(2);
    EXPECT_EQUAL(Open(structure).status, 0.0);
    EXPECT_EQUAL(Close(structure), 0.0);

    for (const ArrayPtr& other : {Text("COM1"), Number(1), Uint8Row(""), ArrayPtr(mxCreateCellMatrix(1, 18))})
        EXPECT_EQUAL(AbortMessage({Text("GetParams").get(), other.get()}), ObjectMessage);
    EXPECT_EQUAL(AbortMessage({Text("Open").get(), Text("default").get()}),
                 std::string("Invalid \"BaudRate\" property value."));
    EXPECT_EQUAL(test_host::LockCount(), 0);
}

} // namespace wine_test
