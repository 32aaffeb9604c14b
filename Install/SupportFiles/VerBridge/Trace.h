// Diagnostic lines of the version reader on standard output.
#pragma once

namespace VerBridge {

// Writes first, second and third (each may be null) as one line; a control
// character in them shows as a blank, so a line is always one line. In a console the
// text goes out as UTF-16, so every character shows; into a pipe or file it goes
// as UTF-8 with CR LF, so no path character can break the line. A host without
// standard output loses the line, and a failed write is ignored.
void WriteTraceLine(const wchar_t* first, const wchar_t* second = nullptr,
                    const wchar_t* third = nullptr) noexcept;

} // namespace VerBridge
