// libFuzzer target for the settings parser of serline.dll (built natively with AddressSanitizer
// and UndefinedBehaviorSanitizer by scripts/fuzz). Besides memory and undefined-behaviour
// faults it checks two properties of the parser:
//  - it reads no further than the NUL or kMaxSettingsLength + 1 characters: an input longer
//    than that is handed over with no NUL at all, in a buffer of exactly its size;
//  - it is strict: whatever it accepts is a string it would write itself, field for field.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "serline/line_settings.h"

namespace {

char ParityLetter(serline::Parity parity) {
    switch (parity) {
    case serline::Parity::None: return 'N';
    case serline::Parity::Even: return 'E';
    case serline::Parity::Odd: return 'O';
    case serline::Parity::Mark: return 'M';
    case serline::Parity::Space: return 'S';
    }
    std::abort();
}

const char* StopBitsText(serline::StopBits stopBits) {
    switch (stopBits) {
    case serline::StopBits::One: return "1";
    case serline::StopBits::OneAndHalf: return "1.5";
    case serline::StopBits::Two: return "2";
    }
    std::abort();
}

std::string Written(const serline::LineSettings& settings) {
    char text[64];
    std::snprintf(text, sizeof text, "COM%d,%u,%c,%d,%s", settings.port, static_cast<unsigned>(settings.baud),
                  ParityLetter(settings.parity), settings.dataBits, StopBitsText(settings.stopBits));
    return text;
}

void Check(bool holds, const char* what, const std::string& input) {
    if (holds) return;
    std::fprintf(stderr, "parser property broken: %s; input \"%s\"\n", what, input.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kLongest = serline::kMaxSettingsLength;
    // Short inputs as a C string; longer ones without their NUL, so that reading one byte
    // too many lands outside the buffer.
    const bool terminated = size <= kLongest;
    std::unique_ptr<char[]> buffer(new char[terminated ? size + 1 : size]);
    if (size > 0) std::memcpy(buffer.get(), data, size);
    if (terminated) buffer[size] = '\0';

    const auto settings = serline::ParseLineSettings(buffer.get());
    if (!settings) return 0;

    const std::string text(buffer.get(), strnlen(buffer.get(), terminated ? size + 1 : size));
    Check(text.size() <= kLongest, "accepted a string that is too long", text);
    Check(settings->port >= 1 && settings->port <= 255, "port out of 1..255", text);
    Check(settings->baud >= 1 && settings->baud <= 4000000, "baud out of range", text);
    Check(settings->dataBits >= 5 && settings->dataBits <= 8, "data bits out of 5..8", text);
    Check(settings->stopBits != serline::StopBits::OneAndHalf || settings->dataBits == 5,
          "1.5 stop bits with more than 5 data bits", text);
    Check(settings->stopBits != serline::StopBits::Two || settings->dataBits != 5, "2 stop bits with 5 data bits",
          text);
    Check(Written(*settings) == text, "accepted a string it would not write itself", text);
    return 0;
}
