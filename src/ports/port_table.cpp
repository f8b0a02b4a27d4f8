#include "ports/port_table.h"

#include <cstddef>
#include <cstring>

const char* PropertyNames[PropertyCount] = {
    "Port",         "BaudRate",      "RtsCtsEnable", "XonXoffEnable", "DsrDtrEnable", "UseErrorChar",
    "ByteSize",     "Parity",        "StopBits",     "XonChar",       "XoffChar",     "ErrorChar",
    "InBufferSize", "OutBufferSize", "ReadTimeout",  "WriteTimeout",  "RtsLine",      "DtrLine"};
const char* const OnOffNames[2] = {"off", "on"};
const char* const LineNames[3] = {"off", "on", "handshake"};
const char* const ParityNames[5] = {"none", "odd", "even", "mark", "space"};

namespace {

// The flag word follows DCBlength and BaudRate.
constexpr std::size_t FlagWordOffset = 2 * sizeof(DWORD);

// fBinary, fDtrControl = enable, fTXContinueOnXoff, fRtsControl = enable.
constexpr DWORD DefaultFlagWord = 0x1091;

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
    SetFlagWord(record.Dcb, DefaultFlagWord);
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

DWORD FlagWord(const DCB& dcb)
{
    DWORD flags;
    std::memcpy(&flags, reinterpret_cast<const char*>(&dcb) + FlagWordOffset, sizeof flags);
    return flags;
}

void SetFlagWord(DCB& dcb, DWORD flags)
{
    std::memcpy(reinterpret_cast<char*>(&dcb) + FlagWordOffset, &flags, sizeof flags);
}

PortRecord PortTable[PortCount] = {ClosedSlot("COM1"), ClosedSlot("COM2"), ClosedSlot("COM3"),
                                   ClosedSlot("COM4"), ClosedSlot("COM5"), ClosedSlot("COM6"),
                                   ClosedSlot("COM7"), ClosedSlot("COM8")};
const PortRecord DefaultRecord = Defaults();
