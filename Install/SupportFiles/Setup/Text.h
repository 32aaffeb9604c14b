#pragma once

#include <windows.h>
#include <stdarg.h>
#include <stddef.h>

// Every text the driver keeps is a fixed buffer of this many UTF-16 units, terminator included.
const size_t kTextSize = 1024;

// Bounded text operations. Each takes the destination as an array, so the bound
// always comes from the buffer itself. A text that does not fit is cut at the end
// of the buffer, always terminated, and the call returns false.
bool TextCopy(wchar_t* dest, size_t destSize, const wchar_t* source);
bool TextAppend(wchar_t* dest, size_t destSize, const wchar_t* source);
bool TextFormatV(wchar_t* dest, size_t destSize, const wchar_t* format, va_list args);
bool TextFormat(wchar_t* dest, size_t destSize, const wchar_t* format, ...);

template <size_t N> bool TextCopy(wchar_t (&dest)[N], const wchar_t* source)
{
    return TextCopy(dest, N, source);
}

template <size_t N> bool TextAppend(wchar_t (&dest)[N], const wchar_t* source)
{
    return TextAppend(dest, N, source);
}

template <size_t N> bool TextFormat(wchar_t (&dest)[N], const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const bool fits = TextFormatV(dest, N, format, args);
    va_end(args);
    return fits;
}

template <size_t N> void TextClear(wchar_t (&dest)[N])
{
    ZeroMemory(dest, sizeof(dest));
}

// Letter case ignored for the ASCII letters only, as the program's switches need.
bool EqualsNoCase(const wchar_t* a, const wchar_t* b);
bool EndsWithNoCase(const wchar_t* text, const wchar_t* suffix);
