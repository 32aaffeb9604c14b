#include "SetupDriver.h"

#include "Paths.h"

namespace {

const wchar_t kLogFileName[] = L"PatchInstaller.Log";
// Used when the temporary folder's log cannot be opened; it grows with every such run.
const wchar_t kFallbackLogPath[] = L"C:\\PatchInstaller.log";

// Collects the bytes of one line and hands them to the file in a few large writes.
class ByteWriter {
public:
    explicit ByteWriter(HANDLE file) : m_file(file), m_used(0) {}
    ~ByteWriter() { Flush(); }
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    void Put(char byte)
    {
        if (m_used == sizeof(m_bytes))
            Flush();
        m_bytes[m_used++] = byte;
    }

    // One byte per character: U+0000 to U+00FF as themselves, anything else as '?'
    // (a surrogate pair counts as one character). A line feed becomes CR LF.
    void PutText(const wchar_t* text)
    {
        for (const wchar_t* p = text; *p != L'\0'; ++p) {
            const wchar_t c = *p;
            if (c == L'\n') {
                Put('\r');
                Put('\n');
            } else if (c <= 0xFF) {
                Put(static_cast<char>(static_cast<unsigned char>(c)));
            } else {
                Put('?');
                if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF)
                    ++p;
            }
        }
    }

    void Flush()
    {
        if (m_used == 0)
            return;
        DWORD written = 0;
        // A failed write is not reported: the log is best effort, and later lines still go out.
        WriteFile(m_file, m_bytes, static_cast<DWORD>(m_used), &written, nullptr);
        m_used = 0;
    }

private:
    HANDLE m_file;
    char m_bytes[1024];
    size_t m_used;
};

} // namespace

LogFile::LogFile() : m_hFile(INVALID_HANDLE_VALUE) {}

LogFile::~LogFile()
{
    Close();
}

bool LogFile::Open(const wchar_t* path, bool append)
{
    Close();
    const DWORD access = append ? FILE_APPEND_DATA : GENERIC_WRITE;
    m_hFile = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return IsOpen();
}

void LogFile::Close()
{
    if (IsOpen()) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}

void LogFile::WriteLine(const SYSTEMTIME& time, const wchar_t* text)
{
    if (!IsOpen())
        return;
    wchar_t stamp[64];
    TextFormat(stamp, L"%u/%u %u:%u:%u  ", time.wMonth, time.wDay, time.wHour, time.wMinute,
               time.wSecond);
    ByteWriter out(m_hFile);
    out.PutText(stamp);
    out.PutText(text != nullptr ? text : L"");
    out.Put('\r');
    out.Put('\n');
}

void SetupDriver::OpenLog()
{
    wchar_t path[kTextSize] = {};
    const DWORD length = GetTempPathW(kTextSize, path);
    if (length == 0 || length >= kTextSize)
        return;
    CreateDirectoryW(path, nullptr); // normally exists already
    // A path that does not fit is not opened, so the fallback takes over.
    if (JoinPath(path, path, kLogFileName) && m_ofsLog.Open(path, false))
        return;
    m_ofsLog.Open(kFallbackLogPath, true);
}

void SetupDriver::WriteLog(const wchar_t* text)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    m_ofsLog.WriteLine(now, text);
}

void SetupDriver::WriteLogFormat(const wchar_t* format, ...)
{
    wchar_t line[2048] = {};
    va_list args;
    va_start(args, format);
    TextFormatV(line, _countof(line), format, args); // a line that does not fit is cut
    va_end(args);
    WriteLog(line);
}

void SetupDriver::WriteSystemError(DWORD errorCode)
{
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, errorCode, 0x400, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length != 0 && message != nullptr)
        WriteLog(message);
    else
        WriteLogFormat(L"Windows error %lu", errorCode);
    if (message != nullptr)
        LocalFree(message);
}
