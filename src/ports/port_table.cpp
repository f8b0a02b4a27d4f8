#include "ports/port_table.h"

const char* PropertyNames[PropertyCount] = {
    "Port",         "BaudRate",      "RtsCtsEnable", "XonXoffEnable", "DsrDtrEnable", "UseErrorChar",
    "ByteSize",     "Parity",        "StopBits",     "XonChar",       "XoffChar",     "ErrorChar",
    "InBufferSize", "OutBufferSize", "ReadTimeout",  "WriteTimeout",  "RtsLine",      "DtrLine"};
const char* const OnOffNames[2] = {"off", "on"};
const char* const LineNames[3] = {"off", "on", "handshake"};
const char* const ParityNames[5] = {"none", "odd", "even", "mark", "space"};

namespace {

// The tables below are built by constant expressions alone, so that loading
// the module runs no code to set them up.
constexpr DCB ClosedDcb()
{
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    return dcb;
}

constexpr DCB DefaultDcb()
{
    DCB dcb = ClosedDcb();
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 16;
    dcb.XoffLim = 16;
    dcb.ByteSize = 8;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

} // namespace

// Name, Dcb, InBufferSize, OutBufferSize, ReadTimeout, WriteTimeout, Handle,
// ErrorFlags, PendingCount, PendingHead, WritesLost, RefusedGroups.
PortRecord PortTable[PortCount] = {
    {"COM1", ClosedDcb(), 0, 0, 0, 0, INVALID_HANDLE_VALUE, 0, 0, nullptr, false, 0},
    {"COM2", ClosedDcb(), 0, 0, 0, 0, INVALID_HANDLE_VALUE, 0, 0, nullptr, false, 0},
    {"COM3", ClosedDcb(), 0, 0, 0, 0, INVALID_HANDLE_VALUE, 0, 0, nullptr, false, 0},
    {"COM4", ClosedDcb(), 0, 0, 0, 0, INVALID_HANDLE_VALUE, 0, 0, nullptr, false, 0},
    {"COM5", ClosedDcb(), 0, 0, 0, 0, INVALID_HANDLE_VALUE, 0, 0, nullptr, false, 0},
    {"COM6", ClosedDcb(), 0, 0, 0, 0, INVALID_HANDLE_VALUE, 0, 0, nullptr, false, 0},
    {"COM7", ClosedDcb(), 0, 0, 0, 0, INVALID_HANDLE_VALUE, 0, 0, nullptr, false, 0},
    {"COM8", ClosedDcb(), 0, 0, 0, 0, INVALID_HANDLE_VALUE, 0, 0, nullptr, false, 0}};
const PortRecord DefaultRecord = {
    "COM1", DefaultDcb(), 1024, 1024, 10000, 10000, INVALID_HANDLE_VALUE, 0, 0, nullptr, false, 0,
};
