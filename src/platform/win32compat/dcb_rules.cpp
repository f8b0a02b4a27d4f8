#include "dcb_rules.h"

namespace win32compat {
namespace {

bool IsFrameValid(const DCB& dcb)
{
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS)
        return false;
    if (dcb.ByteSize == 5)
        return dcb.StopBits != TWOSTOPBITS;
    return dcb.StopBits != ONE5STOPBITS;
}

bool AreFlowCharsValid(const DCB& dcb)
{
    return !(dcb.fOutX || dcb.fInX) || dcb.XonChar != dcb.XoffChar;
}

} // namespace

DCB BinaryLineDcb(DWORD baud, BYTE dataBits, BYTE parity, BYTE stopBits)
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

bool IsDcbAccepted(const DCB& dcb)
{
    return dcb.BaudRate != 0 && IsFrameValid(dcb) && AreFlowCharsValid(dcb);
}

} // namespace win32compat
