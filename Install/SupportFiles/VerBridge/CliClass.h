// Reader of a market file's version: the file is DES-encrypted XML whose root
// Market holds a Version element with the attributes Major, Minor and DataVersion.
#pragma once

#include "Holders.h"

namespace VerBridge {

class CliClass {
public:
    // The version text "Major.Minor.DataVersion" with the attribute values as they
    // stand, or a null text when the version cannot be read. Writes its trace to
    // standard output. Needs a COM apartment on the calling thread (or the
    // process's multithreaded one). Never throws.
    BString GetVersion(const wchar_t* filename) noexcept;
};

} // namespace VerBridge
