#include <windows.h>

// The version reader is not there yet: the caller's buffer is left as it was.
extern "C" void WINAPI VerBridgeGetVersion(const wchar_t* filename, wchar_t* outVersion)
{
    (void)filename;
    (void)outVersion;
}
