#include "SetupDriver.h"

#include "Paths.h"

#include <shlobj.h>

namespace {

const wchar_t kFilesFolder[] = L"Files";
const wchar_t kPatchesFolder[] = L"Patches";
const wchar_t kCatalogue[] = L"Markets\\Markets.xml";
const wchar_t kPatchPattern[] = L"*.msp";

} // namespace

bool AppendBackslash(wchar_t* path, size_t pathSize)
{
    const size_t length = wcslen(path);
    if (length != 0 && path[length - 1] == L'\\')
        return true;
    if (length + 1 >= pathSize)
        return false;
    path[length] = L'\\';
    path[length + 1] = L'\0';
    return true;
}

bool JoinPath(wchar_t* dest, size_t destSize, const wchar_t* folder, const wchar_t* name)
{
    if (destSize == 0)
        return false;
    const bool joined = (dest == folder || TextCopy(dest, destSize, folder)) &&
                        AppendBackslash(dest, destSize) && TextAppend(dest, destSize, name);
    if (!joined)
        dest[0] = L'\0';
    return joined;
}

bool IsExistingFolder(const wchar_t* path)
{
    if (path[0] == L'\0')
        return false;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void SetupDriver::ClearTexts()
{
    TextClear(m_szModuleDir);
    TextClear(m_szSrcDir);
    TextClear(m_szPatchDir);
    TextClear(m_szProductCode);
    TextClear(m_szExeName);
    TextClear(m_szProductName);
    TextClear(m_szBrand);
    TextClear(m_szProductVersion);
    TextClear(m_szNextPatchProductVersion);
    TextClear(m_szMarketsXml);
    TextClear(m_szInstallLocation);
    TextClear(m_szCountry);
    TextClear(m_szOstrivelDbPath);
    TextClear(m_szCommonAppData);
    TextClear(m_szPackageCode);
    TextClear(m_szPatchFile);
    TextClear(m_szArgs);
}

void SetupDriver::InitPaths()
{
    ClearTexts();
    OpenLog();

    wchar_t programPath[kTextSize] = {};
    const DWORD length = GetModuleFileNameW(nullptr, programPath, kTextSize);
    if (length == 0 || length >= kTextSize) {
        // A cut path would point into some other folder; go on without a medium.
        programPath[0] = L'\0';
    } else {
        // The folders are derived from the long form even when started through an 8.3 path.
        wchar_t longPath[kTextSize] = {};
        const DWORD longLength = GetLongPathNameW(programPath, longPath, kTextSize);
        if (longLength != 0 && longLength < kTextSize)
            TextCopy(programPath, longPath);
    }
    InitPathsFrom(programPath);
}

void SetupDriver::InitPathsFrom(const wchar_t* programPath)
{
    // The medium is the folder of the program: everything up to its last backslash.
    TextCopy(m_szModuleDir, programPath);
    wchar_t* lastSeparator = wcsrchr(m_szModuleDir, L'\\');
    if (lastSeparator != nullptr)
        lastSeparator[1] = L'\0';
    else
        m_szModuleDir[0] = L'\0';

    if (m_szModuleDir[0] != L'\0') {
        if (!JoinPath(m_szSrcDir, m_szModuleDir, kFilesFolder) || !IsExistingFolder(m_szSrcDir))
            TextCopy(m_szSrcDir, m_szModuleDir);
        JoinPath(m_szPatchDir, m_szModuleDir, kPatchesFolder);
    }

    WriteLogFormat(L"m_szSrcDir: %ls", m_szSrcDir);
    WriteLogFormat(L"m_szPatchDir: %ls", m_szPatchDir);

    if (IsExistingFolder(m_szPatchDir)) {
        JoinPath(m_szMarketsXml, m_szPatchDir, kCatalogue);
        WriteLog(L"Information : Patch Folder Exists");
        WriteLogFormat(L"Xml Used as %ls", m_szMarketsXml);
        FindPatchFile();
        m_bPatchFolder = true;
    } else {
        WriteLog(L"Information : No patch Exists");
        if (m_szSrcDir[0] != L'\0')
            JoinPath(m_szMarketsXml, m_szSrcDir, kCatalogue);
        WriteLogFormat(L"Xml Used as %ls", m_szMarketsXml);
    }

    const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                        0, m_szCommonAppData);
    if (SUCCEEDED(hr)) {
        WriteLog(m_szCommonAppData);
    } else {
        m_szCommonAppData[0] = L'\0';
        WriteSystemError(static_cast<DWORD>(hr));
    }
}

void SetupDriver::FindPatchFile()
{
    wchar_t pattern[kTextSize] = {};
    if (!JoinPath(pattern, m_szPatchDir, kPatchPattern))
        return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    // The first file the search returns is the patch. The pattern also matches through
    // 8.3 aliases ("x.mspatch") and folders, which are no patches.
    do {
        const bool isFile = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        if (isFile && EndsWithNoCase(found.cFileName, L".msp")) {
            m_bPatchFound = JoinPath(m_szPatchFile, m_szPatchDir, found.cFileName);
            break;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}
