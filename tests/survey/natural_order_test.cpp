// Device names sort as a person reads them, and the order is one std::sort
// may use.
#include "natural_order.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using port_survey::NaturalLess;

const std::vector<std::string> Names = {"/dev/ttyS2",   "/dev/ttyS10",
                                        "/dev/ttyS1x",  "/dev/ttyS1",
                                        "/dev/ttyS01",  "/dev/ttyUSB0",
                                        "/dev/ttyACM3", "/dev/ttyS",
                                        "COM12",        "COM3",
                                        "COM03",        "/dev/ttyUSB10",
                                        "/dev/ttyUSB9", "/dev/serial/by-id/usb-FTDI_A1-if00"};

TEST(NaturalOrderTest, IsAStrictWeakOrderOverNamesThatMixStemsAndNumbers)
{
    for (const std::string& a : Names) {
        EXPECT_FALSE(NaturalLess(a, a)) << a;
        for (const std::string& b : Names) {
            EXPECT_FALSE(NaturalLess(a, b) && NaturalLess(b, a)) << a << " " << b;
            for (const std::string& c : Names) {
                const bool chain = NaturalLess(a, b) && NaturalLess(b, c);
                EXPECT_TRUE(!chain || NaturalLess(a, c)) << a << " < " << b << " < " << c;
            }
        }
    }
}

TEST(NaturalOrderTest, NumbersCompareByValueAndTheRestByCharacter)
{
    std::vector<std::string> sorted = Names;
    std::sort(sorted.begin(), sorted.end(), NaturalLess);
    const std::vector<std::string> expected = {
        "/dev/serial/by-id/usb-FTDI_A1-if00",
        "/dev/ttyACM3",
        "/dev/ttyS",
        "/dev/ttyS01",
        "/dev/ttyS1",
        "/dev/ttyS1x",
        "/dev/ttyS2",
        "/dev/ttyS10",
        "/dev/ttyUSB0",
        "/dev/ttyUSB9",
        "/dev/ttyUSB10",
        "COM03",
        "COM3",
        "COM12",
    };
    EXPECT_EQ(sorted, expected);
}

} // namespace
