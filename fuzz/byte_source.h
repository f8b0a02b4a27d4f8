// Reads a fuzz input from front to back. An exhausted input reads as zeros,
// so every input decodes to some call sequence, and a short seed spells out
// the sequence its bytes name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ByteSource {
  public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Exhausted() const { return offset_ >= size_; }
    std::uint8_t Byte() { return Exhausted() ? 0 : data_[offset_++]; }
    // One of `count` options.
    unsigned Choice(unsigned count) { return Byte() % count; }
    bool Flag() { return (Byte() & 1) != 0; }
    std::vector<std::uint8_t> Bytes(std::size_t count);
    std::string Text(std::size_t count);
    double RawDouble();

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};
