#include "keepalive/ports.h"

#include <cstddef>

namespace kelvarid {

namespace {

constexpr char kPrefix[] = "COM";

// The decimal digits of `number` (1 to 255) into `digits`; returns how many.
std::size_t Digits(int number, char (&digits)[4]) {
    char reversed[4];
    std::size_t count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0 && count < 3);
    for (std::size_t i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    digits[count] = '\0';
    return count;
}

}  // namespace

std::wstring PortName(int port) {
    if (port < 0 || port >= kLastPortNumber) return std::wstring();
    char digits[4];
    Digits(port + 1, digits);
    std::wstring name = L"COM";
    for (const char* c = digits; *c != '\0'; ++c) name += static_cast<wchar_t>(*c);
    return name;
}

// Put together without std::string, which would grow the programs by its narrow half for this
// one string.
void OpenComSettings(int port, char (&settings)[32]) {
    char digits[4];
    Digits(port + 1, digits);
    std::size_t length = 0;
    for (const char* part : {kPrefix, static_cast<const char*>(digits), kLineSettings}) {
        for (const char* c = part; *c != '\0' && length + 1 < sizeof settings; ++c) settings[length++] = *c;
    }
    settings[length] = '\0';
}

int PortFromName(std::wstring_view name) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!name.empty() && blank(name.front())) name.remove_prefix(1);
    while (!name.empty() && blank(name.back())) name.remove_suffix(1);
    if (name.size() < 4 || name.size() > 6) return kNoPort;
    for (std::size_t i = 0; i < 3; ++i) {
        const wchar_t c = name[i] >= L'a' && name[i] <= L'z' ? name[i] - L'a' + L'A' : name[i];
        if (c != static_cast<wchar_t>(kPrefix[i])) return kNoPort;
    }
    if (name[3] == L'0') return kNoPort;
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9') return kNoPort;
        number = number * 10 + (name[i] - L'0');
    }
    return number <= kLastPortNumber ? number - 1 : kNoPort;
}

}  // namespace kelvarid
