#include "platform/utf8.h"

#include <cstdint>
#include <cstring>

namespace utf8 {

char16_t* decode(const unsigned char* p, const unsigned char* e, char16_t* d)
{
    while (p < e) {
        const unsigned b = *p;
        if (b < 0x80) {
            // A run of ASCII, eight bytes at a time.
            while (e - p >= 8) {
                std::uint64_t w;
                std::memcpy(&w, p, 8);
                if (w & 0x8080808080808080ull)
                    break;
                for (int i = 0; i < 8; ++i)
                    d[i] = p[i];
                d += 8;
                p += 8;
            }
            while (p < e && *p < 0x80)
                *d++ = char16_t(*p++);
            continue;
        }
        const std::ptrdiff_t left = e - p;
        if ((b & 0xF0) == 0xE0) { // first: most Chinese text is three-byte sequences
            if (left < 3 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80)
                return nullptr;
            const unsigned u = ((b & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
            if (u < 0x800 || (u & 0xF800) == 0xD800)
                return nullptr;
            *d++ = char16_t(u);
            p += 3;
        } else if ((b & 0xE0) == 0xC0) {
            if (b < 0xC2 || left < 2 || (p[1] & 0xC0) != 0x80)
                return nullptr;
            *d++ = char16_t(((b & 0x1F) << 6) | (p[1] & 0x3Fu));
            p += 2;
        } else if (b >= 0xF0 && b < 0xF5 && left >= 4 && (p[1] & 0xC0) == 0x80 &&
                   (p[2] & 0xC0) == 0x80 && (p[3] & 0xC0) == 0x80) {
            const unsigned u = ((b & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) |
                               (p[3] & 0x3Fu);
            if (u < 0x10000 || u > 0x10FFFF)
                return nullptr;
            *d++ = char16_t(0xD800 + ((u - 0x10000) >> 10));
            *d++ = char16_t(0xDC00 + ((u - 0x10000) & 0x3FF));
            p += 4;
        } else {
            return nullptr;
        }
    }
    return d;
}

std::optional<QString> strict(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    auto* const d = reinterpret_cast<char16_t*>(out.data());
    const auto* const p = reinterpret_cast<const unsigned char*>(bytes.data());
    char16_t* const end = decode(p, p + bytes.size(), d);
    if (!end)
        return std::nullopt;
    out.truncate(end - d);
    return out;
}

} // namespace utf8
