#include "call_arguments.h"

#include "call_oracle.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

namespace fuzz {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

const double Numbers[] = {0,
                          1,
                          2,
                          2.9,
                          3,
                          7,
                          8,
                          1024,
                          9600,
                          65536,
                          -1,
                          -0.5,
                          0.5,
                          1.5,
                          0.001,
                          0.0004,
                          1.001,
                          NaN,
                          Inf,
                          -Inf,
                          -0.0,
                          5e-324,
                          1e300,
                          -1e300,
                          2147483648.0,
                          -2147483649.0,
                          4294967295.0};

// Read allocates the count it is given: a count near 2^31 would take
// gigabytes of the fuzzer's memory and reach no other code. A time-out of
// exactly 5 s could not be told from the simulation's hang limit.
double Tamed(double value)
{
    const double magnitude = std::fabs(value);
    if (magnitude >= 1048576.0 && magnitude < 2147483648.0)
        return std::fmod(value, 1048576.0);
    if (value >= 5.0 && value < 5.001)
        return 4.0;
    return value;
}

double AnyNumber(ByteSource& source)
{
    switch (source.Choice(4)) {
    case 0:
    case 1:
        return Numbers[source.Choice(std::size(Numbers))];
    case 2:
        return source.Byte();
    default:
        return Tamed(source.RawDouble());
    }
}

template <class Element> Element Saturated(double value)
{
    if (std::isnan(value))
        return 0;
    const double low = static_cast<double>(std::numeric_limits<Element>::lowest());
    const double high = static_cast<double>(std::numeric_limits<Element>::max());
    // `high` may round up past the largest Element; stay below it.
    return value <= low    ? std::numeric_limits<Element>::lowest()
           : value >= high ? std::numeric_limits<Element>::max()
                           : static_cast<Element>(value);
}

// Saturation can make a count of 2^31 - 1 out of a number that was none.
template <class Element> void FillWith(mxArray* array, ByteSource& source)
{
    auto* data = static_cast<Element*>(mxGetData(array));
    for (std::size_t i = 0; i < mxGetNumberOfElements(array); ++i)
        data[i] = Saturated<Element>(Tamed(static_cast<double>(Saturated<Element>(AnyNumber(source)))));
}

void FillNumbers(mxArray* array, ByteSource& source)
{
    switch (mxGetClassID(array)) {
    case mxDOUBLE_CLASS:
        for (std::size_t i = 0; i < mxGetNumberOfElements(array); ++i)
            mxGetPr(array)[i] = AnyNumber(source);
        break;
    case mxSINGLE_CLASS: {
        auto* data = static_cast<float*>(mxGetData(array));
        for (std::size_t i = 0; i < mxGetNumberOfElements(array); ++i)
            data[i] = static_cast<float>(std::clamp(AnyNumber(source), -1e30, 1e30));
        break;
    }
    case mxINT32_CLASS:
        FillWith<std::int32_t>(array, source);
        break;
    case mxUINT32_CLASS:
        FillWith<std::uint32_t>(array, source);
        break;
    case mxINT64_CLASS:
        FillWith<std::int64_t>(array, source);
        break;
    case mxUINT64_CLASS:
        FillWith<std::uint64_t>(array, source);
        break;
    default: {
        // 8- and 16-bit classes and logicals: any bits are small.
        std::size_t bytes = mxGetNumberOfElements(array) * (mxGetClassID(array) >= mxINT16_CLASS ? 2 : 1);
        std::vector<std::uint8_t> raw = source.Bytes(bytes);
        if (bytes > 0)
            std::memcpy(mxGetData(array), raw.data(), bytes);
    }
    }
}

std::vector<mwSize> AnyShape(ByteSource& source)
{
    const mwSize n = source.Choice(17);
    switch (source.Choice(9)) {
    case 0:
        return {1, 1};
    case 1:
        return {1, n};
    case 2:
        return {n, 1};
    case 3:
        return {0, 0};
    case 4:
        return {1, 0};
    case 5:
        return {0, n};
    case 6:
        return {2, 3};
    case 7:
        return {1, 1, 2};
    default:
        return {2, 2, 2};
    }
}

ArrayPtr NumericArray(ByteSource& source)
{
    static const mxClassID classes[] = {mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT8_CLASS,   mxUINT8_CLASS,
                                        mxINT16_CLASS,  mxUINT16_CLASS, mxINT32_CLASS,  mxUINT32_CLASS,
                                        mxINT64_CLASS,  mxUINT64_CLASS, mxLOGICAL_CLASS};
    const mxClassID classId = classes[source.Choice(std::size(classes))];
    if (classId == mxLOGICAL_CLASS)
        return ArrayPtr(mxCreateLogicalScalar(source.Flag()));
    std::vector<mwSize> shape = AnyShape(source);
    ArrayPtr array(mxCreateNumericArray(shape.size(), shape.data(), classId, mxREAL));
    FillNumbers(array.get(), source);
    return array;
}

// Any 16-bit characters, in any shape: the module sees their low bytes.
ArrayPtr CharArray(ByteSource& source)
{
    std::vector<mwSize> shape = AnyShape(source);
    ArrayPtr array(mxCreateCharArray(shape.size(), shape.data()));
    mxChar* characters = mxGetChars(array.get());
    for (std::size_t i = 0; i < mxGetNumberOfElements(array.get()); ++i)
        characters[i] = static_cast<mxChar>(source.Byte() | (source.Choice(8) == 0 ? 0x100 : 0));
    return array;
}

ArrayPtr ComplexNumber(ByteSource& source)
{
    ArrayPtr array(mxCreateDoubleMatrix(1, 1, mxCOMPLEX));
    *mxGetPr(array.get()) = AnyNumber(source);
    *mxGetPi(array.get()) = AnyNumber(source);
    return array;
}

std::string AnyName(ByteSource& source)
{
    if (source.Flag())
        return PropertyNames[source.Choice(PropertyCount)];
    std::string name = source.Text(1 + source.Choice(12));
    for (char& c : name)
        c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
    return name;
}

ArrayPtr StructOf(const std::vector<std::string>& names, mwSize rows, mwSize columns)
{
    std::vector<const char*> pointers;
    for (const std::string& name : names)
        pointers.push_back(name.c_str());
    return ArrayPtr(mxCreateStructMatrix(rows, columns, static_cast<int>(names.size()), pointers.data()));
}

void SetValue(mxArray* structure, mwIndex element, int field, ArrayPtr value)
{
    mxSetFieldByNumber(structure, element, field, value.release());
}

ArrayPtr RandomStructure(ByteSource& source, int depth)
{
    std::vector<std::string> names(source.Choice(5));
    for (std::string& name : names)
        name = AnyName(source);
    // Hosts refuse a structure with two fields of one name.
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    ArrayPtr structure = StructOf(names, source.Choice(3), 1);
    for (std::size_t element = 0; element < mxGetNumberOfElements(structure.get()); ++element)
        for (int field = 0; field < static_cast<int>(names.size()); ++field)
            if (source.Flag())
                SetValue(structure.get(), element, field, AnyArray(source, depth + 1));
    return structure;
}

std::string MixedCase(std::string text, ByteSource& source)
{
    for (char& c : text)
        c = static_cast<char>(source.Flag() ? std::toupper(static_cast<unsigned char>(c))
                                            : std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Mostly two ports, so that calls meet the ports earlier calls opened.
std::string PortName(ByteSource& source)
{
    static const char* const names[] = {"COM1", "COM1",     "COM1",    "COM1",   "COM1", "COM1",
                                        "COM2", "COM2",     "COM2",    "COM2",   "COM3", "COM8",
                                        "com2", "cOm1",     "COM10",   "COM3 x", "COM9", "COM0",
                                        "COM",  "COM12345", "default", "",       "CO1",  "COMx"};
    const unsigned pick = source.Choice(16);
    return pick < 15 ? names[pick] : names[source.Choice(std::size(names))];
}

// Mostly no wait at all; any value may still come as an arbitrary number.
double ReadTimeoutSeconds(ByteSource& source)
{
    static const double seconds[] = {0, 0, 0, 0, 0, 0, 0.001, 0.0004, 0.003, 0.05, 1, 10, -1, NaN};
    return seconds[source.Choice(std::size(seconds))];
}

double WriteTimeoutSeconds(ByteSource& source)
{
    static const double seconds[] = {0, 0, 0.001, 0.499, 0.5, 1, 10, -1, NaN};
    return seconds[source.Choice(std::size(seconds))];
}

ArrayPtr Keyword(ByteSource& source, int property)
{
    static const char* const switches[] = {"off", "on", "handshake", "of", "", "onn", "none", "on "};
    static const char* const parities[] = {
        "none", "odd", "even", "mark", "space", "ev", "nonenonenonenonenonex"};
    const char* const* list = property == 7 ? parities : switches;
    const std::size_t count = property == 7 ? std::size(parities) : std::size(switches);
    return TextArray(MixedCase(list[source.Choice(count)], source));
}

// A value for one property: one of its kind, valid or nearly so, or anything.
ArrayPtr PropertyValue(ByteSource& source, int property)
{
    if (source.Choice(4) == 0)
        return source.Flag() ? AnyArray(source) : nullptr;
    switch (property) {
    case 0:
        return TextArray(PortName(source));
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
    case 16:
    case 17:
        return Keyword(source, property);
    case 9:
    case 10:
    case 11:
        return TextArray(source.Text(source.Choice(3)));
    case 14:
        return NumberArray(ReadTimeoutSeconds(source));
    case 15:
        return NumberArray(WriteTimeoutSeconds(source));
    default:
        return NumberArray(AnyNumber(source));
    }
}

ArrayPtr DefaultValue(int property, const std::string& port, ByteSource* source)
{
    switch (property) {
    case 0:
        return TextArray(port);
    case 1:
        return NumberArray(9600);
    case 2:
    case 3:
    case 4:
    case 5:
        return TextArray("off");
    case 6:
        return NumberArray(8);
    case 7:
        return TextArray("none");
    case 8:
        return NumberArray(1);
    case 9:
        return TextArray("\x11");
    case 10:
        return TextArray("\x13");
    case 11:
        return TextArray("");
    case 12:
    case 13:
        return NumberArray(1024);
    case 14:
        return NumberArray(source ? ReadTimeoutSeconds(*source) : 0);
    case 15:
        return NumberArray(source ? WriteTimeoutSeconds(*source) : 0);
    default:
        return TextArray("on");
    }
}

// The property names as a settings structure has them, or not quite.
std::vector<std::string> SettingsNames(ByteSource& source, unsigned variant)
{
    std::vector<std::string> names(PropertyNames, PropertyNames + PropertyCount);
    switch (variant) {
    case 1:
        names.push_back(AnyName(source) + "x");
        break;
    case 2:
        names.erase(names.begin() + source.Choice(PropertyCount));
        break;
    case 3:
        std::swap(names[source.Choice(PropertyCount)], names[source.Choice(PropertyCount)]);
        break;
    case 4:
        for (std::string& name : names)
            name = MixedCase(name, source);
        break;
    case 5:
        names[source.Choice(PropertyCount)] += "_";
        break;
    default:
        break;
    }
    return names;
}

ArrayPtr SettingsStructure(ByteSource& source)
{
    const unsigned variant = source.Choice(16);
    std::vector<std::string> names = SettingsNames(source, variant < 6 ? variant : 0);
    mwSize columns = variant == 6 ? 2 + source.Choice(2) : variant == 7 ? 0 : 1;
    ArrayPtr structure = StructOf(names, 1, columns);
    const std::string port = PortName(source);
    for (mwIndex element = 0; element < columns; ++element)
        for (int field = 0; field < static_cast<int>(names.size()); ++field) {
            const int property = field < PropertyCount ? field : PropertyCount - 1;
            SetValue(structure.get(), element, field,
                     element == 0 ? DefaultValue(property, port, &source) : PropertyValue(source, property));
        }
    static const unsigned changeCounts[] = {0, 0, 0, 0, 1, 1, 2, 3};
    for (unsigned change = changeCounts[source.Choice(8)]; change > 0 && columns > 0; --change) {
        const int field = static_cast<int>(source.Choice(static_cast<unsigned>(names.size())));
        ArrayPtr replaced(mxGetFieldByNumber(structure.get(), 0, field));
        SetValue(structure.get(), 0, field, PropertyValue(source, std::min(field, PropertyCount - 1)));
    }
    return structure;
}

} // namespace

ArrayPtr TextArray(const std::string& text)
{
    const mwSize shape[] = {text.empty() ? 0u : 1u, text.size()};
    ArrayPtr array(mxCreateCharArray(2, shape));
    std::transform(text.begin(), text.end(), mxGetChars(array.get()),
                   [](char c) { return static_cast<mxChar>(static_cast<unsigned char>(c)); });
    return array;
}

ArrayPtr NumberArray(double value)
{
    return ArrayPtr(mxCreateDoubleScalar(value));
}

ArrayPtr AnyArray(ByteSource& source, int depth)
{
    switch (source.Choice(depth < 2 ? 8 : 6)) {
    case 0:
        return NumberArray(AnyNumber(source));
    case 1:
        return NumericArray(source);
    case 2:
        return TextArray(source.Text(source.Choice(24)));
    case 3:
        return CharArray(source);
    case 4:
        return ComplexNumber(source);
    case 5:
        return ArrayPtr(mxCreateCellMatrix(source.Choice(2), source.Choice(3)));
    case 6:
        return RandomStructure(source, depth);
    default:
        return SettingsStructure(source);
    }
}

ArrayPtr CommandArgument(ByteSource& source, int& intended)
{
    intended = static_cast<int>(source.Choice(CommandCount));
    const std::string name = Commands[intended].name;
    switch (source.Choice(16)) {
    case 10:
        return TextArray(MixedCase(name, source));
    case 11:
        return TextArray(name.substr(0, source.Choice(static_cast<unsigned>(name.size()) + 1)));
    case 12:
        return TextArray(name + source.Text(1 + source.Choice(20)));
    case 13:
        return TextArray(source.Text(source.Choice(24)));
    case 14:
        return AnyArray(source);
    case 15:
        return CharArray(source);
    default:
        return TextArray(name);
    }
}

ArrayPtr PortArgument(ByteSource& source)
{
    switch (source.Choice(16)) {
    case 13:
        return TextArray(MixedCase("default", source));
    case 14:
        return TextArray(source.Flag() ? "defaults" : PortName(source));
    case 15:
        return AnyArray(source);
    default:
        return SettingsStructure(source);
    }
}

ArrayPtr WriteData(ByteSource& source)
{
    const unsigned shape = source.Choice(8);
    if (shape == 7)
        return AnyArray(source);
    const mwSize length = source.Flag() ? source.Choice(9) : 16u * source.Byte();
    const std::vector<mwSize> dimensions = shape == 4   ? std::vector<mwSize>{0, 0}
                                           : shape == 5 ? std::vector<mwSize>{2, length / 2}
                                           : shape == 6 ? std::vector<mwSize>{1, length, 2}
                                                        : std::vector<mwSize>{1, length};
    ArrayPtr data(mxCreateNumericArray(dimensions.size(), dimensions.data(), mxUINT8_CLASS, mxREAL));
    auto* bytes = static_cast<std::uint8_t*>(mxGetData(data.get()));
    for (std::size_t i = 0; i < mxGetNumberOfElements(data.get()); ++i)
        bytes[i] = source.Exhausted() ? static_cast<std::uint8_t>(i) : source.Byte();
    return data;
}

ArrayPtr ReadCount(ByteSource& source)
{
    switch (source.Choice(8)) {
    case 0:
        return NumberArray(AnyNumber(source));
    case 1:
        return ArrayPtr(mxCreateDoubleMatrix(0, 0, mxREAL));
    case 2:
        return AnyArray(source);
    default:
        return NumberArray(source.Choice(33));
    }
}

ArrayPtr FlushMode(ByteSource& source)
{
    static const char* const modes[] = {"discard", "DISCARD", "Discard", "discards", "disc", "", "wait"};
    return source.Choice(4) == 0 ? AnyArray(source) : TextArray(modes[source.Choice(std::size(modes))]);
}

ArrayPtr SettingsFor(const std::string& port)
{
    ArrayPtr structure =
        StructOf(std::vector<std::string>(PropertyNames, PropertyNames + PropertyCount), 1, 1);
    for (int field = 0; field < PropertyCount; ++field)
        SetValue(structure.get(), 0, field, DefaultValue(field, port, nullptr));
    return structure;
}

} // namespace fuzz
