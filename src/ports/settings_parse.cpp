#include "ports/settings_parse.h"

#include "common/host_calls.h"
#include "common/text.h"
#include "common/truncation.h"
#include "ports/port_table.h"

#include <cstddef>
#include <initializer_list>

namespace {

// Composed by hand: a formatting library would bring its locks and exit
// handlers into the host's process for one text.
[[noreturn]] void RejectProperty(int index)
{
    char message[40];
    std::size_t length = 0;
    for (const char* part :
         {messages::InvalidPropertyOpening, PropertyNames[index], messages::InvalidPropertyClosing})
        for (; *part != '\0' && length + 1 < sizeof message; ++part)
            message[length++] = *part;
    message[length] = '\0';
    HostAbort(message);
}

double ReadNumberProperty(const mxArray* settings, int index)
{
    const mxArray* value = FieldOfFirstElement(settings, index);
    if (value == nullptr || !mxIsDouble(value))
        RejectProperty(index);
    return ScalarOf(value);
}

DWORD ReadChoiceProperty(const mxArray* settings, int index, const char* const* list, DWORD count)
{
    const mxArray* value = FieldOfFirstElement(settings, index);
    char text[20];
    if (value == nullptr || mxGetString(value, text, sizeof text) != 0)
        RejectProperty(index);
    for (DWORD choice = 0; choice < count; ++choice)
        if (EqualIgnoringCase(text, list[choice]))
            return choice;
    RejectProperty(index);
}

char ReadCharProperty(const mxArray* settings, int index)
{
    const mxArray* value = FieldOfFirstElement(settings, index);
    char text[2];
    if (value == nullptr || mxGetString(value, text, sizeof text) != 0)
        RejectProperty(index);
    return text[0];
}

DWORD ReadOnOff(const mxArray* settings, int index)
{
    return ReadChoiceProperty(settings, index, OnOffNames, 2);
}

// Seconds to milliseconds; the product is truncated in double precision.
DWORD ReadMilliseconds(const mxArray* settings, int index)
{
    return static_cast<DWORD>(TruncateTowardZero<std::int64_t>(ReadNumberProperty(settings, index) * 1000.0));
}

struct LineSwitches {
    DWORD rtsCts, rtsLine, xonXoff, dsrDtr, dtrLine, errorChar, parity;
};

// A handshake switched on drives its line, whatever the line's own setting.
// The flag bits the settings do not name keep their values.
void ApplySwitches(DCB& dcb, const LineSwitches& on)
{
    dcb.fOutxCtsFlow = on.rtsCts;
    dcb.fRtsControl = on.rtsCts ? RTS_CONTROL_HANDSHAKE : on.rtsLine;
    dcb.fOutX = on.xonXoff;
    dcb.fInX = on.xonXoff;
    dcb.fOutxDsrFlow = on.dsrDtr;
    dcb.fDtrControl = on.dsrDtr ? DTR_CONTROL_HANDSHAKE : on.dtrLine;
    dcb.fErrorChar = on.errorChar;
    dcb.fParity = on.parity != NOPARITY;
}

} // namespace

void ParseSettings(PortRecord& record, const mxArray* settings)
{
    PortRecord updated = record;
    DCB& dcb = updated.Dcb;
    // The order of the reads decides which invalid property the message names.
    double baudRate = ReadNumberProperty(settings, BaudRateProperty);
    LineSwitches on{};
    on.rtsCts = ReadOnOff(settings, RtsCtsEnableProperty);
    on.rtsLine = ReadOnOff(settings, RtsLineProperty);
    on.xonXoff = ReadOnOff(settings, XonXoffEnableProperty);
    on.dsrDtr = ReadOnOff(settings, DsrDtrEnableProperty);
    on.dtrLine = ReadOnOff(settings, DtrLineProperty);
    on.errorChar = ReadOnOff(settings, UseErrorCharProperty);
    double byteSize = ReadNumberProperty(settings, ByteSizeProperty);
    on.parity = ReadChoiceProperty(settings, ParityProperty, ParityNames, 5);
    double stopBits = ReadNumberProperty(settings, StopBitsProperty);
    dcb.XonChar = ReadCharProperty(settings, XonCharProperty);
    dcb.XoffChar = ReadCharProperty(settings, XoffCharProperty);
    dcb.ErrorChar = ReadCharProperty(settings, ErrorCharProperty);
    updated.InBufferSize =
        TruncateTowardZero<std::int32_t>(ReadNumberProperty(settings, InBufferSizeProperty));
    updated.OutBufferSize =
        TruncateTowardZero<std::int32_t>(ReadNumberProperty(settings, OutBufferSizeProperty));
    updated.ReadTimeout = ReadMilliseconds(settings, ReadTimeoutProperty);
    updated.WriteTimeout = ReadMilliseconds(settings, WriteTimeoutProperty);

    ApplySwitches(dcb, on);
    dcb.BaudRate = static_cast<DWORD>(TruncateTowardZero<std::int64_t>(baudRate));
    dcb.ByteSize = static_cast<BYTE>(TruncateTowardZero<std::int64_t>(byteSize));
    dcb.Parity = static_cast<BYTE>(on.parity);
    dcb.StopBits = static_cast<BYTE>(TruncateTowardZero<std::int64_t>(2.0 * stopBits - 2.0));
    record = updated;
}
