// The line settings Windows' serial driver refuses, each as a change to an
// otherwise accepted DCB. Both Win32 stand-ins, the simulated device and the
// POSIX backend, are checked against this one list.
#pragma once

#include "serial_api.h"

namespace test_support {

struct DcbChange {
    const char* name;
    void (*edit)(DCB&);
};

inline const DcbChange DcbsWindowsRefuses[] = {
    {"byte size 4", [](DCB& d) { d.ByteSize = 4; }},
    {"byte size 9", [](DCB& d) { d.ByteSize = 9; }},
    {"parity code 5", [](DCB& d) { d.Parity = 5; }},
    {"stop-bit code 3", [](DCB& d) { d.StopBits = 3; }},
    {"5 data bits, 2 stop bits",
     [](DCB& d) {
         d.ByteSize = 5;
         d.StopBits = TWOSTOPBITS;
     }},
    {"6 data bits, 1.5 stop bits",
     [](DCB& d) {
         d.ByteSize = 6;
         d.StopBits = ONE5STOPBITS;
     }},
    {"7 data bits, 1.5 stop bits",
     [](DCB& d) {
         d.ByteSize = 7;
         d.StopBits = ONE5STOPBITS;
     }},
    {"8 data bits, 1.5 stop bits",
     [](DCB& d) {
         d.ByteSize = 8;
         d.StopBits = ONE5STOPBITS;
     }},
    {"baud rate 0", [](DCB& d) { d.BaudRate = 0; }},
    {"XON = XOFF, output flow",
     [](DCB& d) {
         d.fOutX = 1;
         d.XonChar = d.XoffChar;
     }},
    {"XON = XOFF, input flow",
     [](DCB& d) {
         d.fInX = 1;
         d.XonChar = d.XoffChar;
     }},
};

} // namespace test_support
