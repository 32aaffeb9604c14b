// The library's one export: the version text of an encrypted market file.
#include "CliClass.h"
#include "Holders.h"

#include <windows.h>

namespace {

// The caller's buffer: 1024 UTF-16 units, terminator included. Its size is not
// passed, so this is the most ever written; a longer text is cut.
const UINT kVersionChars = 1024;

} // namespace

// Writes the version text into outVersion, or nothing at all when there is none.
// Nothing else leaves the call: no error, no exception, no memory to free.
extern "C" void WINAPI VerBridgeGetVersion(const wchar_t* filename, wchar_t* outVersion)
{
    // Every COM reference the reader takes is released before this goes.
    VerBridge::ComApartment apartment;
    VerBridge::CliClass reader;
    VerBridge::BString version = reader.GetVersion(filename != nullptr ? filename : L"");
    if (!version || outVersion == nullptr)
        return;

    // Up to the first NUL of the text, at most 1023 units, then the terminator;
    // the rest of the buffer stays as the caller left it.
    const wchar_t* text = version.Text();
    const UINT length = version.Length();
    UINT copied = 0;
    while (copied < length && copied < kVersionChars - 1 && text[copied] != L'\0') {
        outVersion[copied] = text[copied];
        ++copied;
    }
    outVersion[copied] = L'\0';
}
