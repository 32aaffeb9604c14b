// Stands in for a running program that Setup finds by its exe name: sleeps for the
// number of milliseconds given as the first argument, or until it is terminated.
// A GUI-subsystem program: a console program started without a console of its own
// would get one, and under Wine that console host can outlive it. Only kernel32 is
// used, so that starting it needs no desktop either.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // The program name ends at the closing quote, or at the first blank when unquoted.
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        for (++p; *p && *p != L'"'; ++p) {
        }
        if (*p)
            ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    Sleep(*p ? static_cast<DWORD>(std::wcstoul(p, nullptr, 10)) : INFINITE);
    return 0;
}
