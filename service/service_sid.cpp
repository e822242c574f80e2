#include "service/service_sid.h"

#include <array>
#include <cstdint>
#include <vector>

#include "platform/messages.h"

namespace kelvarid {

namespace {

constexpr std::uint32_t RotateLeft(std::uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

// SHA-1 (FIPS 180-4) of a short message.
std::array<std::uint8_t, 20> Sha1(std::vector<std::uint8_t> message) {
    const std::uint64_t bits = static_cast<std::uint64_t>(message.size()) * 8;
    message.push_back(0x80);
    while (message.size() % 64 != 56) message.push_back(0);
    for (int shift = 56; shift >= 0; shift -= 8) message.push_back(static_cast<std::uint8_t>(bits >> shift));
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    for (std::size_t block = 0; block < message.size(); block += 64) {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t* b = &message[block + 4 * i];
            w[i] = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
        }
        for (int i = 16; i < 80; ++i) w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            const std::uint32_t f = i < 20 ? ((b & c) | (~b & d)) : i < 40 ? (b ^ c ^ d) : i < 60 ? ((b & c) | (b & d) | (c & d)) : (b ^ c ^ d);
            const std::uint32_t k = i < 20 ? 0x5A827999 : i < 40 ? 0x6ED9EBA1 : i < 60 ? 0x8F1BBCDC : 0xCA62C1D6;
            const std::uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = RotateLeft(b, 30);
            b = a;
            a = next;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    std::array<std::uint8_t, 20> digest{};
    for (int i = 0; i < 20; ++i) digest[i] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

}  // namespace

std::wstring ServiceSidText(std::wstring_view serviceName) {
    // The name in capitals, UTF-16 little-endian, as Windows hashes it.
    std::vector<std::uint8_t> name;
    for (wchar_t c : serviceName) {
        const wchar_t upper = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
        name.push_back(static_cast<std::uint8_t>(upper & 0xff));
        name.push_back(static_cast<std::uint8_t>(upper >> 8));
    }
    const std::array<std::uint8_t, 20> digest = Sha1(std::move(name));
    std::wstring sid = L"S-1-5-80";
    for (int i = 0; i < 5; ++i) {
        const std::uint8_t* b = &digest[4 * i];  // each part little-endian
        const std::uint32_t part = b[0] | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[3]} << 24);
        sid += L"-" + texts::Decimal(part);
    }
    return sid;
}

std::wstring RecordFolderSddl(std::wstring_view account) {
    return L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;" + std::wstring(account) + L")";
}

}  // namespace kelvarid
