// The static table of eight port records, the record of default settings,
// the property names of a settings structure and their keyword lists.
#pragma once

#include "common/port_record.h"

constexpr int PortCount = 8;
constexpr int PropertyCount = 18;

enum PropertyIndex {
    PortProperty,
    BaudRateProperty,
    RtsCtsEnableProperty,
    XonXoffEnableProperty,
    DsrDtrEnableProperty,
    UseErrorCharProperty,
    ByteSizeProperty,
    ParityProperty,
    StopBitsProperty,
    XonCharProperty,
    XoffCharProperty,
    ErrorCharProperty,
    InBufferSizeProperty,
    OutBufferSizeProperty,
    ReadTimeoutProperty,
    WriteTimeoutProperty,
    RtsLineProperty,
    DtrLineProperty
};

extern const char* PropertyNames[PropertyCount];
extern const char* const OnOffNames[2];
extern const char* const LineNames[3];
extern const char* const ParityNames[5];

extern PortRecord PortTable[PortCount];
extern const PortRecord DefaultRecord;
