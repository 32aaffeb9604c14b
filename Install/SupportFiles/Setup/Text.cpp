#include "Text.h"

#include <strsafe.h>

bool TextCopy(wchar_t* dest, size_t destSize, const wchar_t* source)
{
    if (destSize == 0)
        return false;
    if (source == nullptr)
        source = L"";
    return SUCCEEDED(StringCchCopyW(dest, destSize, source));
}

bool TextAppend(wchar_t* dest, size_t destSize, const wchar_t* source)
{
    if (destSize == 0)
        return false;
    if (source == nullptr)
        return true;
    // StringCchCat refuses a destination that holds no terminator; such a buffer is cut too.
    size_t length = 0;
    if (FAILED(StringCchLengthW(dest, destSize, &length)))
        dest[destSize - 1] = L'\0';
    return SUCCEEDED(StringCchCatW(dest, destSize, source));
}

bool TextFormatV(wchar_t* dest, size_t destSize, const wchar_t* format, va_list args)
{
    if (destSize == 0)
        return false;
    return SUCCEEDED(StringCchVPrintfW(dest, destSize, format, args));
}

bool TextFormat(wchar_t* dest, size_t destSize, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const bool fits = TextFormatV(dest, destSize, format, args);
    va_end(args);
    return fits;
}

static wchar_t LowerAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualsNoCase(const wchar_t* a, const wchar_t* b)
{
    for (; *a != L'\0' && *b != L'\0'; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
    }
    return *a == *b;
}

bool EndsWithNoCase(const wchar_t* text, const wchar_t* suffix)
{
    const size_t textLength = wcslen(text);
    const size_t suffixLength = wcslen(suffix);
    return suffixLength <= textLength && EqualsNoCase(text + textLength - suffixLength, suffix);
}
