#include "DriverTestSupport.h"

namespace {

bool SaveVariable(const wchar_t* name, std::wstring& value)
{
    wchar_t buffer[2048];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 2048);
    if (length == 0 || length >= 2048)
        return false;
    value = buffer;
    return true;
}

} // namespace

TempFolderScope::TempFolderScope() : m_dir(L"log")
{
    m_hadTmp = SaveVariable(L"TMP", m_oldTmp);
    m_hadTemp = SaveVariable(L"TEMP", m_oldTemp);
    SetEnvironmentVariableW(L"TMP", m_dir.Path().c_str());
    SetEnvironmentVariableW(L"TEMP", m_dir.Path().c_str());
}

TempFolderScope::~TempFolderScope()
{
    SetEnvironmentVariableW(L"TMP", m_hadTmp ? m_oldTmp.c_str() : nullptr);
    SetEnvironmentVariableW(L"TEMP", m_hadTemp ? m_oldTemp.c_str() : nullptr);
}

std::vector<std::string> TempFolderScope::LogLines() const
{
    std::vector<std::string> lines = testsupport::ReadLogLines(LogPath());
    for (std::string& line : lines)
        line = testsupport::StripTimestamp(line);
    return lines;
}
