// In-process driver tests: a driver whose log goes to a folder of the test's own.
#pragma once

#include "SetupDriver.h"
#include "TestSupport.h"

#include <string>
#include <vector>

// Points TMP and TEMP at a fresh folder for the life of the scope, so that the
// driver's log lands there, and puts the old values back afterwards.
class TempFolderScope {
public:
    TempFolderScope();
    ~TempFolderScope();
    TempFolderScope(const TempFolderScope&) = delete;
    TempFolderScope& operator=(const TempFolderScope&) = delete;

    const std::wstring& Path() const { return m_dir.Path(); }
    std::wstring LogPath() const { return m_dir.Path() + L"PatchInstaller.Log"; }
    std::vector<std::string> LogLines() const;  // time stamps checked and removed

private:
    testsupport::TempDir m_dir;
    std::wstring m_oldTmp, m_oldTemp;
    bool m_hadTmp, m_hadTemp;
};

// COM for the calling thread, as the program's entry point has it.
class ComScope {
public:
    ComScope() { CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};
