// serline.dll as both programs bind it: loaded only from the running program's own folder, by
// its full path, and its two functions looked up by name. It says what kept the library or a
// function away; what that means is the caller's: the window program cannot go on and says so
// in a box, the service logs it and looks again.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles.h"
#include "serline/serline.h"

namespace kelvarid {

// The library's own declarations: a change there cannot go unnoticed here.
using OpenComFunction = decltype(&::OPENCOM);
using TxdFunction = decltype(&::TXD);

// What kept the library or one of its functions away.
struct SerialLibraryFailure {
    enum class Kind {
        None,
        NoProgramFolder,  // the program's own path cannot be had (`error`)
        NotLoaded,        // `path` cannot be loaded (`error`)
        LacksFunction,    // `path` has no `function`
    } kind = Kind::None;
    std::wstring path;
    unsigned long error = 0;
    const char* function = nullptr;

    explicit operator bool() const { return kind != Kind::None; }
    // The missing function's name, L"TXD".
    std::wstring FunctionName() const {
        std::wstring name;
        for (const char* c = function; c != nullptr && *c != '\0'; ++c) name += static_cast<wchar_t>(*c);
        return name;
    }
};

class SerialLibrary {
public:
    // `function` bound, the library loaded first when it is not; nothing is bound on a failure.
    SerialLibraryFailure Bind(const char* name, OpenComFunction& function) { return BindAny(name, function); }
    SerialLibraryFailure Bind(const char* name, TxdFunction& function) { return BindAny(name, function); }
    // Unloads the library, which lowers the line and lets the port go; the next Bind loads it
    // again. Whatever was bound from it must be forgotten first.
    void Release() { library_.reset(); }
    // Where it was loaded from, or looked for last.
    const std::wstring& Path() const { return path_; }

private:
    template <typename Function>
    SerialLibraryFailure BindAny(const char* name, Function& function) {
        FARPROC found = nullptr;
        SerialLibraryFailure failure = Find(name, found);
        if (!failure) function = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
        return failure;
    }
    SerialLibraryFailure Find(const char* name, FARPROC& found);
    SerialLibraryFailure Load();

    UniqueModule library_;
    std::wstring path_;
};

}  // namespace kelvarid
