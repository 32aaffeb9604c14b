#pragma once

#include "ComRef.h"
#include "Log.h"
#include "Text.h"

#include <msxml2.h>

// The one object of Setup.exe that carries a run. Its fields are the only state that
// the operations share; they are public so that tests can set up and inspect a run.
class SetupDriver {
public:
    SetupDriver();
    ~SetupDriver();
    SetupDriver(const SetupDriver&) = delete;
    SetupDriver& operator=(const SetupDriver&) = delete;

    // Run sequence: returns the process exit code.
    int Run();

    // Log
    void OpenLog();
    void WriteLog(const wchar_t* text);
    void WriteLogFormat(const wchar_t* format, ...);
    void WriteSystemError(DWORD errorCode);

    // Paths of the medium
    void InitPaths();
    void InitPathsFrom(const wchar_t* programPath);

    // Command line
    void ParseCommandLine();
    void ParseCommandLineText(const wchar_t* commandLine);

    // Catalogue
    bool LoadMarketsXml();
    void ReadProductInformation();

    LogFile m_ofsLog;
    ComRef<IXMLDOMDocument2> m_pMarketsDoc;
    ComRef<IXMLDOMElement> m_pMarketsRoot;

    bool m_bSilent;
    bool m_bUninstall;
    bool m_bPatchFolder;
    bool m_bWebUpdate;
    bool m_bPatchFound;
    bool m_bHasArgs;
    bool m_bFSwitch;
    bool m_bPrereqs;
    bool m_bWhiteList;
    bool m_bRebootRequired;

    wchar_t m_szModuleDir[kTextSize];
    wchar_t m_szSrcDir[kTextSize];
    wchar_t m_szPatchDir[kTextSize];
    wchar_t m_szProductCode[kTextSize];
    wchar_t m_szExeName[kTextSize];
    wchar_t m_szProductName[kTextSize];
    wchar_t m_szBrand[kTextSize];
    wchar_t m_szProductVersion[kTextSize];
    wchar_t m_szNextPatchProductVersion[kTextSize];
    wchar_t m_szMarketsXml[kTextSize];
    wchar_t m_szInstallLocation[kTextSize];
    wchar_t m_szCountry[kTextSize];
    wchar_t m_szOstrivelDbPath[kTextSize];
    wchar_t m_szCommonAppData[kTextSize];
    wchar_t m_szPackageCode[kTextSize];
    wchar_t m_szPatchFile[kTextSize];
    wchar_t m_szArgs[kTextSize];

private:
    void ClearTexts();
    void FindPatchFile();
};

// Drops the current folder from the DLL search path before anything else is loaded.
void HardenDllSearchPath();
