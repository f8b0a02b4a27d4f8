// The control block the tests start from: a binary line of the frame asked
// for (8N1 unless told), as the stand-ins build it; each test changes what it
// is about.
#pragma once

#include "dcb_rules.h"

namespace test_support {

inline DCB LineDcb(DWORD baud, BYTE dataBits = 8, BYTE parity = NOPARITY, BYTE stopBits = ONESTOPBIT)
{
    return win32compat::BinaryLineDcb(baud, dataBits, parity, stopBits);
}

} // namespace test_support
