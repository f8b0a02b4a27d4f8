#include "byte_source.h"

#include <cstring>

std::vector<std::uint8_t> ByteSource::Bytes(std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& byte : bytes)
        byte = Byte();
    return bytes;
}

std::string ByteSource::Text(std::size_t count)
{
    std::vector<std::uint8_t> bytes = Bytes(count);
    return std::string(bytes.begin(), bytes.end());
}

double ByteSource::RawDouble()
{
    std::vector<std::uint8_t> bytes = Bytes(sizeof(double));
    double value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}
