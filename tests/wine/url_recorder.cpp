// Stands in for the web browser in tests: every address the shell hands it is appended, one
// a line, to opened.log beside this program.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    std::string log(self);
    log = log.substr(0, log.find_last_of('\\') + 1) + "opened.log";
    FILE* out = std::fopen(log.c_str(), "ab");
    if (out == nullptr) return 1;
    for (int i = 1; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
    std::fclose(out);
    return 0;
}
