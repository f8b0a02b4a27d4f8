// The line settings Windows' serial driver refuses in SetCommState, shared by
// the stand-ins so that both refuse exactly what Windows does.
#pragma once

#include "serial_api.h"

namespace win32compat {

// No rate; a byte of other than 5-8 bits; an unknown parity or stop-bit code;
// two stop bits with 5-bit bytes or 1.5 with longer ones; XON/XOFF flow control
// with the same character for both.
bool IsDcbAccepted(const DCB& dcb);

// A binary line of the given frame with the usual XON (0x11) and XOFF (0x13)
// characters, no flow control and the modem lines left low.
DCB BinaryLineDcb(DWORD baud, BYTE dataBits, BYTE parity, BYTE stopBits);

} // namespace win32compat
