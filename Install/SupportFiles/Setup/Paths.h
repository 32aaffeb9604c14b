#pragma once

#include "Text.h"

// Appends a backslash when the text is empty or does not end in one. Returns false,
// leaving the text as it was, when the backslash does not fit.
bool AppendBackslash(wchar_t* path, size_t pathSize);

template <size_t N> bool AppendBackslash(wchar_t (&path)[N])
{
    return AppendBackslash(path, N);
}

// Joins a folder and a name with one backslash between them. A path is never cut:
// when the whole does not fit, dest is left empty and the call returns false, so
// that no shortened path can name some other file.
bool JoinPath(wchar_t* dest, size_t destSize, const wchar_t* folder, const wchar_t* name);

template <size_t N> bool JoinPath(wchar_t (&dest)[N], const wchar_t* folder, const wchar_t* name)
{
    return JoinPath(dest, N, folder, name);
}

bool IsExistingFolder(const wchar_t* path);
