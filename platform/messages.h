// What the plumbing of both programs says to the user: the title of every box and the fatal
// errors of finding the program's folder, loading libraries and setting a timer. Czech, a
// line break, English.
#pragma once

#include <string>
#include <string_view>

namespace kelvarid::texts {

inline constexpr wchar_t kBoxTitle[] = L"Kelvarid";

inline constexpr wchar_t kNoProgramFolder[] =
    L"Knihovnu serline.dll nelze najít: program nezná svou složku.\nserline.dll not found: the program does not know its folder.";
inline constexpr wchar_t kNoSystemFolder[] = L"Systémovou složku nelze najít.\nThe system folder cannot be found.";
inline constexpr wchar_t kTimerNotSet[] = L"Časovač nelze nastavit.\nThe timer cannot be set.";

// A number in decimal, for an error's number. std::to_wstring would bring the C library's whole
// wide printf, floating point included, into the programs for these few numbers.
inline std::wstring Decimal(unsigned long long number) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + number % 10));
        number /= 10;
    } while (number != 0);
    return digits;
}

inline std::wstring SerialLibraryNotLoaded(std::wstring_view path) {
    return L"Knihovnu serline.dll nelze načíst.\nCannot load the serial-line library:\n" + std::wstring(path);
}

inline std::wstring SystemLibraryNotLoaded(std::wstring_view library, std::wstring_view path) {
    const std::wstring name(library);
    return L"Knihovnu " + name + L" nelze načíst.\n" + name + L" cannot be loaded from " + std::wstring(path);
}

inline std::wstring FunctionMissing(std::wstring_view library, std::wstring_view function) {
    const std::wstring owner(library);
    const std::wstring name(function);
    return L"Knihovna " + owner + L" nemá funkci " + name + L".\n" + owner + L" lacks the function " + name + L".";
}

}  // namespace kelvarid::texts
