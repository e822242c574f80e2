// Calls the real serline.dll as the program does and prints each result, for the tests that
// watch the library on pseudo-terminals. Usage:
//   serline_probe <serline.dll> <step>...
//   step: open:<settings> | open-null | txd:<level> | pause:<ms>
//         mark:<file>    creates the file, to tell the test script how far the probe got
//         await:<file>   waits (at most 60 s) until the test script has created the file
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
        } else if (std::strncmp(step, "mark:", 5) == 0) {
            HANDLE file = CreateFileA(step + 5, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                std::printf("cannot create %s (%lu)\n", step + 5, GetLastError());
                return 2;
            }
            CloseHandle(file);
        } else if (std::strncmp(step, "await:", 6) == 0) {
            int waited = 0;
            while (GetFileAttributesA(step + 6) == INVALID_FILE_ATTRIBUTES) {
                if (waited >= 60000) {
                    std::printf("gave up waiting for %s\n", step + 6);
                    return 2;
                }
                Sleep(20);
                waited += 20;
            }
        } else {
            std::printf("unknown step %s\n", step);
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}
