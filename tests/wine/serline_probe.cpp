// Calls the real serline.dll as the program does and prints each result, for the tests that
// watch the library on pseudo-terminals. Usage:
//   serline_probe <serline.dll> <step>...    step: open:<settings> | open-null | txd:<level> | pause:<ms>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using OpenCom = short(__stdcall*)(const char*);
using Txd = short(__stdcall*)(short);

template <typename Function>
Function Bind(HMODULE library, const char* name) {
    FARPROC address = GetProcAddress(library, name);
    if (address == nullptr) {
        std::printf("missing %s\n", name);
        std::exit(2);
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: serline_probe <serline.dll> <step>...\n");
        return 2;
    }
    HMODULE library = LoadLibraryA(argv[1]);
    if (library == nullptr) {
        std::printf("cannot load %s (%lu)\n", argv[1], GetLastError());
        return 2;
    }
    const auto openCom = Bind<OpenCom>(library, "OPENCOM");
    const auto txd = Bind<Txd>(library, "TXD");
    for (int i = 2; i < argc; ++i) {
        const char* step = argv[i];
        if (std::strncmp(step, "open:", 5) == 0) {
            std::printf("OPENCOM %s -> %d\n", step + 5, openCom(step + 5));
        } else if (std::strcmp(step, "open-null") == 0) {
            std::printf("OPENCOM null -> %d\n", openCom(nullptr));
        } else if (std::strncmp(step, "txd:", 4) == 0) {
            const short level = static_cast<short>(std::atoi(step + 4));
            std::printf("TXD %d -> %d\n", level, txd(level));
        } else if (std::strncmp(step, "pause:", 6) == 0) {
            Sleep(static_cast<DWORD>(std::atoi(step + 6)));
        } else {
            std::printf("unknown step %s\n", step);
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}
