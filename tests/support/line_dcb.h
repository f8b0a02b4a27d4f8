// The control block the tests start from: binary mode, XON 0x11 and XOFF 0x13,
// no flow control, and the frame asked for; each test changes what it is about.
#pragma once

#include "serial_api.h"

namespace test_support {

inline DCB LineDcb(DWORD baud, BYTE dataBits = 8, BYTE parity = NOPARITY, BYTE stopBits = ONESTOPBIT)
{
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.ByteSize = dataBits;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

} // namespace test_support
