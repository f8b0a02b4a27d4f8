#include "ports/settings_report.h"

#include "common/command_handlers.h"
#include "common/host_calls.h"
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

void SetField(mxArray* report, int index, mxArray* value)
{
    mxSetFieldByNumber(report, 0, index, value);
}

// XonXoffEnable reads the input side's switch; Open and SetParams set both.
void ReportSwitches(mxArray* report, const DCB& dcb)
{
    SetField(report, RtsCtsEnableProperty, NewText(OnOffNames[dcb.fOutxCtsFlow]));
    SetField(report, XonXoffEnableProperty, NewText(OnOffNames[dcb.fInX]));
    SetField(report, DsrDtrEnableProperty, NewText(OnOffNames[dcb.fOutxDsrFlow]));
    SetField(report, UseErrorCharProperty, NewText(OnOffNames[dcb.fErrorChar]));
    SetField(report, RtsLineProperty, NewText(LineNames[dcb.fRtsControl]));
    SetField(report, DtrLineProperty, NewText(LineNames[dcb.fDtrControl]));
}

} // namespace

mxArray* ReportSettings(const PortRecord& record)
{
    mxArray* report = ArrayOrAbort(mxCreateStructMatrix(1, 1, PropertyCount, PropertyNames));
    const DCB& dcb = record.Dcb;
    SetField(report, PortProperty, NewText(record.Name));
    SetField(report, BaudRateProperty, NewDoubleScalar(dcb.BaudRate));
    ReportSwitches(report, dcb);
    SetField(report, ByteSizeProperty, NewDoubleScalar(dcb.ByteSize));
    SetField(report, ParityProperty, NewText(dcb.fParity ? ParityNames[dcb.Parity] : ParityNames[NOPARITY]));
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

// While the device refuses some of them, the settings reported are the ones
// asked for, not the ones in force: ConfigFailed says so.
std::int32_t GetParams(const CommandCall& call)
{
    const PortRecord& record = call.Record;
    call.Outputs[0] = ReportSettings(record);
    if (!IsOpen(record))
        return NotOpen;
    return record.RefusedGroups != 0 ? ConfigFailed : 0;
}
