#include "SetupDriver.h"

#ifndef LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#endif

namespace {

// GetProcAddress's result as the function type it really has.
template <class Function> Function ProcAddress(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

void HardenDllSearchPath()
{
    // Setup runs elevated from download folders: a DLL planted in the current folder
    // must never be loaded. The program's own folder (VerBridge.dll) and the system
    // folder stay searchable. Both calls are looked up, since older systems lack them.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr)
        return;
    SetDefaultDllDirectoriesFn setDefault =
        ProcAddress<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS))
        return;
    SetDllDirectoryFn setDllDirectory = ProcAddress<SetDllDirectoryFn>(kernel, "SetDllDirectoryW");
    if (setDllDirectory != nullptr)
        setDllDirectory(L"");
}
