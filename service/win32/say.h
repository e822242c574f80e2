// What kelvarid-service.exe's commands for administrators and the installer say. The program is
// a GUI program, which has no console of its own: its text goes to the output it was given (a
// file or a pipe, as UTF-8: the installer's log), else to the console of the one that started
// it; with neither, nowhere. Never a box: nobody may be there to close it.
#pragma once

#include <string_view>

namespace kelvarid {

void Say(std::wstring_view text);

}  // namespace kelvarid
