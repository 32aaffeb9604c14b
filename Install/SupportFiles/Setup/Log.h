#pragma once

#include <windows.h>

// The installation log file: 8-bit text, one byte per character, CR LF line ends.
// It is a plain Win32 file handle so that the bytes written are exactly the ones asked for.
class LogFile {
public:
    LogFile();
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Replaces the file, or with append adds to its end; other programs may read it meanwhile.
    bool Open(const wchar_t* path, bool append);
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    void Close();

    // Writes "M/D H:M:S  text" and CR LF. A failed write loses that line only.
    void WriteLine(const SYSTEMTIME& time, const wchar_t* text);

private:
    HANDLE m_hFile;
};
