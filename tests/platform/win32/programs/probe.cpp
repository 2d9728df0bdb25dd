// A tiny Windows program for the staged-update checks, built by the cross
// compiler on its own (no product code):
//   probe.exe MS [PIDFILE] writes its process identifier into PIDFILE (when
//                          given), sleeps MS milliseconds and exits
//   probe.exe              writes "<its own path>.started" with its identifier
//                          and exits (the new program the update starts)
#include <windows.h>

#include <cstdio>
#include <cstdlib>

static bool WriteText(const char* path, unsigned long value) {
    FILE* f = std::fopen(path, "w");
    if (!f) return false;
    std::fprintf(f, "%lu\n", value);
    return std::fclose(f) == 0;
}

int main(int argc, char** argv) {
    unsigned long pid = GetCurrentProcessId();
    if (argc >= 2) {
        if (argc >= 3 && !WriteText(argv[2], pid)) return 2;
        Sleep(static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)));
        return 0;
    }
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof self - 16);
    if (n == 0 || n >= sizeof self - 16) return 3;
    std::snprintf(self + n, 16, ".started");
    return WriteText(self, pid) ? 0 : 4;
}
