#include "ports/port_table.h"

#include <cstring>

const char* PropertyNames[PropertyCount] = {
    "Port",         "BaudRate",      "RtsCtsEnable", "XonXoffEnable", "DsrDtrEnable", "UseErrorChar",
    "ByteSize",     "Parity",        "StopBits",     "XonChar",       "XoffChar",     "ErrorChar",
    "InBufferSize", "OutBufferSize", "ReadTimeout",  "WriteTimeout",  "RtsLine",      "DtrLine"};
const char* const OnOffNames[2] = {"off", "on"};
const char* const LineNames[3] = {"off", "on", "handshake"};
const char* const ParityNames[5] = {"none", "odd", "even", "mark", "space"};

namespace {

PortRecord ClosedSlot(const char* name)
{
    PortRecord record;
    std::memset(&record, 0, sizeof record);
    std::strncpy(record.Name, name, sizeof record.Name - 1);
    record.Dcb.DCBlength = sizeof(DCB);
    record.Handle = INVALID_HANDLE_VALUE;
    return record;
}

PortRecord Defaults()
{
    PortRecord record = ClosedSlot("COM1");
    record.Dcb.BaudRate = 9600;
    record.Dcb.fBinary = TRUE;
    record.Dcb.fDtrControl = DTR_CONTROL_ENABLE;
    record.Dcb.fTXContinueOnXoff = TRUE;
    record.Dcb.fRtsControl = RTS_CONTROL_ENABLE;
    record.Dcb.XonLim = 16;
    record.Dcb.XoffLim = 16;
    record.Dcb.ByteSize = 8;
    record.Dcb.XonChar = 0x11;
    record.Dcb.XoffChar = 0x13;
    record.InBufferSize = 1024;
    record.OutBufferSize = 1024;
    record.ReadTimeout = 10000;
    record.WriteTimeout = 10000;
    return record;
}

} // namespace

PortRecord PortTable[PortCount] = {ClosedSlot("COM1"), ClosedSlot("COM2"), ClosedSlot("COM3"),
                                   ClosedSlot("COM4"), ClosedSlot("COM5"), ClosedSlot("COM6"),
                                   ClosedSlot("COM7"), ClosedSlot("COM8")};
const PortRecord DefaultRecord = Defaults();
