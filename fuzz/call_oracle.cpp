#include "call_oracle.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

namespace fuzz {

const CommandLimits Commands[CommandCount] = {
    {"Open", 1, 1, 2},          {"Close", 1, 1, 1},     {"CloseAll", 0, 0, 0},   {"GetParams", 1, 1, 2},
    {"SetParams", 1, 1, 2},     {"Write", 2, 2, 1},     {"Read", 1, 2, 2},       {"GetWriteStatus", 1, 1, 2},
    {"GetReadStatus", 1, 1, 2}, {"FlushRead", 1, 1, 1}, {"FlushWrite", 1, 2, 1},
};

const char* const PropertyNames[PropertyCount] = {
    "Port",         "BaudRate",      "RtsCtsEnable", "XonXoffEnable", "DsrDtrEnable", "UseErrorChar",
    "ByteSize",     "Parity",        "StopBits",     "XonChar",       "XoffChar",     "ErrorChar",
    "InBufferSize", "OutBufferSize", "ReadTimeout",  "WriteTimeout",  "RtsLine",      "DtrLine"};

const char* const OutOfMemory = "Out of memory.";
const char* const DataNotUint8 = "Data to write must be of type \"uint8\".";

namespace {

const char* const GatewayMessages[] = {"Too few input arguments.",
                                       "Too many input arguments.",
                                       "Too many output arguments.",
                                       "The first input argument must be a command string.",
                                       "Unknown command.",
                                       "Ambiguous command name.",
                                       OutOfMemory,
                                       "The second input argument must be a \"vantrel\" object.",
                                       "Invalid serial port name.",
                                       DataNotUint8,
                                       "Data to write must not exceed 2147483647 bytes."};

enum Kind { Number, OnOff, ParityChoice, Character };
struct PropertyRead {
    int index;
    Kind kind;
};
// The order in which parsing reads the properties: the first invalid one names the message.
const PropertyRead ParseOrder[] = {
    {1, Number},     {2, OnOff},   {16, OnOff},       {3, OnOff},   {4, OnOff},     {17, OnOff},
    {5, OnOff},      {6, Number},  {7, ParityChoice}, {8, Number},  {9, Character}, {10, Character},
    {11, Character}, {12, Number}, {13, Number},      {14, Number}, {15, Number}};

bool EqualIgnoringCase(const char* left, const char* right)
{
    for (;
         std::tolower(static_cast<unsigned char>(*left)) == std::tolower(static_cast<unsigned char>(*right));
         ++left, ++right)
        if (*left == '\0')
            return true;
    return false;
}

// The text a buffer of `size` bytes receives, or false when it does not fit.
bool TextFits(const mxArray* array, std::size_t size, char (&text)[32])
{
    return array != nullptr && mxGetClassID(array) == mxCHAR_CLASS && mxGetNumberOfElements(array) < size &&
           mxGetString(array, text, sizeof text) == 0;
}

bool HasPrefixIgnoringCase(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*text)) !=
            std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

// Exact names win; a second prefix match before any exact one is ambiguous.
const char* ResolveCommand(const char* text, int& command)
{
    int found = -1;
    for (int row = 0; row < CommandCount; ++row) {
        const char* name = Commands[row].name;
        if (!HasPrefixIgnoringCase(name, text))
            continue;
        if (std::strlen(name) == std::strlen(text)) {
            command = row;
            return nullptr;
        }
        if (found >= 0)
            return "Ambiguous command name.";
        found = row;
    }
    if (found < 0)
        return "Unknown command.";
    command = found;
    return nullptr;
}

const mxArray* FirstElementField(const mxArray* structure, int field)
{
    if (structure == nullptr || !mxIsStruct(structure) || mxGetNumberOfElements(structure) == 0 ||
        field >= mxGetNumberOfFields(structure))
        return nullptr;
    return mxGetFieldByNumber(structure, 0, field);
}

bool ValidValue(const mxArray* value, Kind kind)
{
    static const char* const onOff[] = {"off", "on"};
    static const char* const parities[] = {"none", "odd", "even", "mark", "space"};
    char text[32];
    switch (kind) {
    case Number:
        return value != nullptr && mxIsDouble(value);
    case Character:
        return TextFits(value, 2, text);
    case OnOff:
        return TextFits(value, 20, text) &&
               (EqualIgnoringCase(text, onOff[0]) || EqualIgnoringCase(text, onOff[1]));
    case ParityChoice:
        if (!TextFits(value, 20, text))
            return false;
        for (const char* parity : parities)
            if (EqualIgnoringCase(text, parity))
                return true;
        return false;
    }
    return false;
}

double ScalarOf(const mxArray* array)
{
    mxClassID id = mxGetClassID(array);
    bool numbers =
        id == mxLOGICAL_CLASS || id == mxCHAR_CLASS || (id >= mxDOUBLE_CLASS && id <= mxUINT64_CLASS);
    return numbers && !mxIsEmpty(array) ? mxGetScalar(array) : 0.0;
}

} // namespace

const char* GatewayMessage(int nlhs, const std::vector<const mxArray*>& args, int& command)
{
    if (args.empty())
        return "Too few input arguments.";
    char text[32];
    if (!TextFits(args[0], 20, text))
        return "The first input argument must be a command string.";
    if (const char* message = ResolveCommand(text, command))
        return message;
    const int inputs = static_cast<int>(args.size()) - 1;
    if (inputs < Commands[command].minInputs)
        return "Too few input arguments.";
    if (inputs > Commands[command].maxInputs)
        return "Too many input arguments.";
    if (nlhs > Commands[command].maxOutputs)
        return "Too many output arguments.";
    return nullptr;
}

const char* SelectionMessage(const mxArray* portArgument, int& slot)
{
    char text[32];
    if (TextFits(portArgument, 8, text) && EqualIgnoringCase(text, "default")) {
        slot = DefaultsSelected;
        return nullptr;
    }
    if (!mxIsStruct(portArgument) || mxGetNumberOfFields(portArgument) < PropertyCount)
        return "The second input argument must be a \"vantrel\" object.";
    for (int field = 0; field < PropertyCount; ++field)
        if (!EqualIgnoringCase(mxGetFieldNameByNumber(portArgument, field), PropertyNames[field]))
            return "The second input argument must be a \"vantrel\" object.";
    if (!TextFits(FirstElementField(portArgument, 0), 8, text) || !HasPrefixIgnoringCase(text, "COM") ||
        text[3] < '1' || text[3] > '8')
        return "Invalid serial port name.";
    slot = text[3] - '1';
    return nullptr;
}

const char* RoutingMessage(int nlhs, const std::vector<const mxArray*>& args, int& command, int& slot)
{
    if (const char* message = GatewayMessage(nlhs, args, command))
        return message;
    slot = 0;
    return args.size() > 1 ? SelectionMessage(args[1], slot) : nullptr;
}

std::string ParseMessage(const mxArray* settings)
{
    for (const PropertyRead& read : ParseOrder)
        if (!ValidValue(FirstElementField(settings, read.index), read.kind))
            return std::string("Invalid \"") + PropertyNames[read.index] + "\" property value.";
    return "";
}

bool IsFixedMessage(const std::string& message)
{
    for (const char* fixed : GatewayMessages)
        if (message == fixed)
            return true;
    for (const PropertyRead& read : ParseOrder)
        if (message == std::string("Invalid \"") + PropertyNames[read.index] + "\" property value.")
            return true;
    return false;
}

bool ReadCountGiven(const std::vector<const mxArray*>& args, std::int64_t& count)
{
    if (args.size() < 3 || mxIsEmpty(args[2]))
        return false;
    const double value = ScalarOf(args[2]);
    const double below = std::numeric_limits<std::int32_t>::min();
    count = value > below - 1.0 && value < -below ? static_cast<std::int64_t>(std::trunc(value))
                                                  : std::numeric_limits<std::int32_t>::min();
    return true;
}

bool AsksToDiscard(const std::vector<const mxArray*>& args)
{
    char mode[32];
    return args.size() >= 3 && TextFits(args[2], 8, mode) && EqualIgnoringCase(mode, "discard");
}

} // namespace fuzz
