#include "ports/settings_report.h"

#include "gateway/host_calls.h"
#include "ports/port_table.h"

namespace {

mxArray* NewText(const char* text)
{
    return ArrayOrAbort(mxCreateString(text));
}

mxArray* NewCharText(char character)
{
    const char text[2] = {character, '\0'};
    return NewText(text);
}

bool FlagBit(DWORD flags, int bit)
{
    return (flags >> bit & 1u) != 0;
}

void SetField(mxArray* report, int index, mxArray* value)
{
    mxSetFieldByNumber(report, 0, index, value);
}

void ReportSwitches(mxArray* report, DWORD flags)
{
    SetField(report, RtsCtsEnableProperty, NewText(OnOffNames[FlagBit(flags, 2)]));
    SetField(report, XonXoffEnableProperty, NewText(OnOffNames[FlagBit(flags, 9)]));
    SetField(report, DsrDtrEnableProperty, NewText(OnOffNames[FlagBit(flags, 3)]));
    SetField(report, UseErrorCharProperty, NewText(OnOffNames[FlagBit(flags, 10)]));
    SetField(report, RtsLineProperty, NewText(LineNames[flags >> 12 & 3u]));
    SetField(report, DtrLineProperty, NewText(LineNames[flags >> 4 & 3u]));
}

} // namespace

mxArray* ReportSettings(const PortRecord& record)
{
    mxArray* report = ArrayOrAbort(mxCreateStructMatrix(1, 1, PropertyCount, PropertyNames));
    const DCB& dcb = record.Dcb;
    DWORD flags = FlagWord(dcb);
    SetField(report, PortProperty, NewText(record.Name));
    SetField(report, BaudRateProperty, NewDoubleScalar(dcb.BaudRate));
    ReportSwitches(report, flags);
    SetField(report, ByteSizeProperty, NewDoubleScalar(dcb.ByteSize));
    SetField(report, ParityProperty, NewText(FlagBit(flags, 1) ? ParityNames[dcb.Parity] : ParityNames[0]));
    SetField(report, StopBitsProperty, NewDoubleScalar((dcb.StopBits + 2) * 0.5));
    SetField(report, XonCharProperty, NewCharText(dcb.XonChar));
    SetField(report, XoffCharProperty, NewCharText(dcb.XoffChar));
    SetField(report, ErrorCharProperty, NewCharText(dcb.ErrorChar));
    SetField(report, InBufferSizeProperty, NewDoubleScalar(record.InBufferSize));
    SetField(report, OutBufferSizeProperty, NewDoubleScalar(record.OutBufferSize));
    SetField(report, ReadTimeoutProperty, NewDoubleScalar(record.ReadTimeout / 1000.0));
    SetField(report, WriteTimeoutProperty, NewDoubleScalar(record.WriteTimeout / 1000.0));
    return report;
}

std::int32_t GetParams(PortRecord& record, std::int32_t, mxArray* outputs[], std::int32_t, const mxArray*[])
{
    outputs[0] = ReportSettings(record);
    return IsOpen(record) ? 0 : NotOpen;
}
