#include "Trace.h"

#include <windows.h>

namespace VerBridge {

namespace {

// Collects one line and writes it with as few calls as possible, so that a line
// of ordinary length reaches a pipe in one piece. Nothing is allocated.
class LineWriter {
public:
    LineWriter() noexcept
    {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (out == nullptr || out == INVALID_HANDLE_VALUE)
            return;
        m_out = out;
        DWORD mode = 0;
        m_console = GetConsoleMode(out, &mode) != FALSE;
    }
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void Append(const wchar_t* text) noexcept
    {
        if (m_out == nullptr || text == nullptr)
            return;
        size_t length = 0;
        while (text[length] != L'\0')
            ++length;
        while (length > 0) {
            size_t chunk = length < kWideChunk ? length : kWideChunk;
            // Keep a surrogate pair in one chunk, or it would turn into two U+FFFD.
            if (chunk < length && text[chunk - 1] >= 0xD800 && text[chunk - 1] <= 0xDBFF)
                --chunk;
            AppendChunk(text, chunk);
            text += chunk;
            length -= chunk;
        }
    }

    void EndLine() noexcept
    {
        if (m_out == nullptr)
            return;
        WriteChunk(L"\r\n", 2);
        Flush();
    }

private:
    static constexpr size_t kWideChunk = 1024;
    // Room for one wide chunk in UTF-8 (at most 3 bytes per UTF-16 unit).
    static constexpr size_t kByteBuffer = 4 * kWideChunk;

    // A control character (a line feed from a parser's message or from a character
    // reference in an attribute value) would split the line: it shows as a blank.
    void AppendChunk(const wchar_t* raw, size_t length) noexcept
    {
        wchar_t text[kWideChunk];
        for (size_t i = 0; i < length; ++i)
            text[i] = raw[i] < 0x20 ? L' ' : raw[i];
        WriteChunk(text, length);
    }

    void WriteChunk(const wchar_t* text, size_t length) noexcept
    {
        if (m_console) {
            DWORD written = 0;
            WriteConsoleW(m_out, text, static_cast<DWORD>(length), &written, nullptr);
            return;
        }
        if (m_used + 3 * length > kByteBuffer)
            Flush();
        int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length),
                                        m_bytes + m_used, static_cast<int>(kByteBuffer - m_used),
                                        nullptr, nullptr);
        if (bytes > 0)
            m_used += static_cast<size_t>(bytes);
    }

    void Flush() noexcept
    {
        const char* next = m_bytes;
        size_t left = m_used;
        m_used = 0;
        while (left > 0) {
            DWORD written = 0;
            if (!WriteFile(m_out, next, static_cast<DWORD>(left), &written, nullptr) || written == 0)
                return;
            next += written;
            left -= written;
        }
    }

    HANDLE m_out = nullptr;
    bool m_console = false;
    char m_bytes[kByteBuffer];
    size_t m_used = 0;
};

} // namespace

void WriteTraceLine(const wchar_t* first, const wchar_t* second, const wchar_t* third) noexcept
{
    LineWriter line;
    line.Append(first);
    line.Append(second);
    line.Append(third);
    line.EndLine();
}

} // namespace VerBridge
