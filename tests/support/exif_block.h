// Test JPEGs that carry an EXIF block: the APP1 payload built byte by byte, and its insertion into encoded JPEG
// data after the start marker and any JFIF header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellicam::test {

// One entry of the first image directory: tag, type, count and the four bytes of the value field as the block's
// byte order writes a SHORT (value in the first two bytes) or a LONG.
struct ExifEntry {
    std::uint16_t tag = 0x0112;
    std::uint16_t type = 3; // SHORT
    std::uint32_t count = 1;
    std::uint32_t value = 1;
};

// "Exif\0\0", the TIFF header in the byte order asked for, the directory at offset 8 with the entries, and a zero
// link to the next directory.
inline std::string ExifPayload(const std::vector<ExifEntry>& entries, bool bigEndian)
{
    std::string bytes("Exif\0\0", 6);
    const auto put16 = [&](std::uint32_t v) {
        if (bigEndian) {
            bytes += static_cast<char>((v >> 8) & 0xFF);
            bytes += static_cast<char>(v & 0xFF);
        } else {
            bytes += static_cast<char>(v & 0xFF);
            bytes += static_cast<char>((v >> 8) & 0xFF);
        }
    };
    const auto put32 = [&](std::uint32_t v) {
        if (bigEndian) {
            put16(v >> 16);
            put16(v & 0xFFFF);
        } else {
            put16(v & 0xFFFF);
            put16(v >> 16);
        }
    };
    bytes += bigEndian ? "MM" : "II";
    put16(42);
    put32(8);
    put16(static_cast<std::uint32_t>(entries.size()));
    for (const ExifEntry& e : entries) {
        put16(e.tag);
        put16(e.type);
        put32(e.count);
        if (e.type == 3) {
            put16(e.value);
            put16(0);
        } else {
            put32(e.value);
        }
    }
    put32(0);
    return bytes;
}

// The orientation tag alone, behind an unrelated entry, so that the reader has to walk the directory.
inline std::string OrientationPayload(int orientation, bool bigEndian)
{
    return ExifPayload({ { 0x0100, 4, 1, 640 }, { 0x0112, 3, 1, static_cast<std::uint32_t>(orientation) } }, bigEndian);
}

// The JPEG data with an APP1 block holding `payload` placed after the start marker and any JFIF (APP0) block.
inline std::string WithApp1(const std::string& jpeg, const std::string& payload)
{
    std::size_t at = 2;
    if (jpeg.size() > 6 && static_cast<unsigned char>(jpeg[2]) == 0xFF && static_cast<unsigned char>(jpeg[3]) == 0xE0)
        at = 4 + ((static_cast<unsigned char>(jpeg[4]) << 8) | static_cast<unsigned char>(jpeg[5]));
    const std::size_t length = payload.size() + 2;
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>((length >> 8) & 0xFF);
    segment += static_cast<char>(length & 0xFF);
    segment += payload;
    return jpeg.substr(0, at) + segment + jpeg.substr(at);
}

} // namespace vellicam::test
