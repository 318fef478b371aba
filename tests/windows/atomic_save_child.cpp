// Saves one INI value in a loop, two values in turn, until it is terminated:
//   atomic_save_child.exe PATH VALUE_A VALUE_B EVENT
// EVENT is an inherited event handle (as a number), set once the first save is done, so that
// the parent's kills land among the saves rather than in the start-up.
// Used by atomic_save_kill_test.cpp; it never ends by itself.
#include <tessel/config/ini_file.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: atomic_save_child PATH VALUE_A VALUE_B EVENT\n");
        return 2;
    }
    const auto started = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::strtoull(argv[4], nullptr, 10)));
    for (unsigned long n = 0;; ++n) {
        CIniFile::SetValue("Key7", argv[2 + n % 2], "Section20", argv[1]);
        if (n == 0) SetEvent(started);
    }
}
