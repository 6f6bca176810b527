#pragma once
// Builds small Standard MIDI File images for the reader and loader tests:
// readable hex turned into bytes, chunks and headers around them, padding of an
// exact size.

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/Files.h"

namespace rovanta::test {

using Bytes = std::vector<std::uint8_t>;

// "4D 54 68 64 | 00 06" -> bytes; blanks and '|' separate nothing but the reader's eye.
inline Bytes Hex(std::string_view text)
{
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != '|' && c != '\n') digits += c;
    if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw std::invalid_argument("not hex: " + std::string(text));
    Bytes out;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Be(std::uint32_t value, int width)
{
    Bytes out;
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
    return out;
}

inline Bytes Vlq(std::uint32_t value)
{
    Bytes out{static_cast<std::uint8_t>(value & 0x7F)};
    while (value >>= 7) out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    return out;
}

// A chunk: id, big-endian length, the events.
inline Bytes Chunk(const Bytes& events, std::string_view id = "MTrk")
{
    return Cat({Text(id), Be(static_cast<std::uint32_t>(events.size()), 4), events});
}
inline Bytes Chunk(std::string_view hexEvents) { return Chunk(Hex(hexEvents)); }

inline Bytes Header(int format, int tracks, int division)
{
    return Cat({Text("MThd"), Be(6, 4), Be(static_cast<std::uint32_t>(format), 2),
                Be(static_cast<std::uint32_t>(tracks), 2), Be(static_cast<std::uint32_t>(division), 2)});
}

// A whole file; the header announces as many tracks as there are chunks unless told.
inline Bytes Smf(int format, int division, std::initializer_list<Bytes> chunks, int announced = -1)
{
    Bytes out = Header(format, announced < 0 ? static_cast<int>(chunks.size()) : announced, division);
    for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
    return out;
}

inline Bytes WithPrefix(const Bytes& file)
{
    // Byte by byte: g++ 12 at -O3 warns falsely about a bulk copy here.
    Bytes out(128, 0xAA);
    for (const std::uint8_t b : file) out.push_back(b);
    return out;
}

// Exactly n bytes (n == 0 or n >= 4) of meta events of type 0x21 at delta 0,
// which the reader drops: they make a file reach an exact size.
inline Bytes Padding(std::size_t n)
{
    if (n > 0 && n < 4) throw std::invalid_argument("padding below 4 bytes");
    Bytes out;
    while (n > 0) {
        std::size_t take = n < 131 ? n : 131;
        if (n - take > 0 && n - take < 4) take -= 4;
        const Bytes event = Cat({Hex("00 FF 21"), Vlq(static_cast<std::uint32_t>(take - 4)), Bytes(take - 4, 0x20)});
        out.insert(out.end(), event.begin(), event.end());
        n -= take;
    }
    return out;
}

}  // namespace rovanta::test
