#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The program itself, loaded as data only.
class SetupImage {
public:
    SetupImage()
        : m_module(LoadLibraryExW((testsupport::BinDir() + L"Setup.exe").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~SetupImage()
    {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }
    SetupImage(const SetupImage&) = delete;
    SetupImage& operator=(const SetupImage&) = delete;

    HMODULE Get() const { return m_module; }

    std::string Resource(const wchar_t* type, const wchar_t* name) const
    {
        HRSRC info = FindResourceW(m_module, name, type);
        HGLOBAL data = info != nullptr ? LoadResource(m_module, info) : nullptr;
        if (data == nullptr)
            return std::string();
        return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(m_module, info));
    }

private:
    HMODULE m_module;
};

TEST(Resources, MessageTextsAreExactlyAsWritten)
{
    const struct {
        UINT id;
        const wchar_t* text;
    } cases[] = {
        {108, L"A newer or same version of this application is already installed on this computer. If you wish to install this version, please uninstall the installed version first."},
        {114, L"Please install the application %s  before executing this update."},
        {115, L"Please close the application %s and try again."},
        {120, L"アクセス権が不十分なため、このマシンのすべてのユーザーが使用できるようにアプリケーションをインストールすることはできません。管理者としてログインし、再度インストールしてください。"},
        {122, L"在执行前，请安装此修补程序的应用程式%s。"},
        {123, L"このパッチを実行する前に%sをアプリケーションをインストールしてください。"},
        {131, L"请关闭应用程式%s，然后再试一次。"},
        {149, L"Microsoft Windows XP with Service Pack 3 or higher is required for this installation to continue.  Please install and then retry this installation."},
        {155, L"Microsoft .NET Framework 4 needs to be installed before this installation can continue. It will be started next and once complete this installation will continue."},
        {159, L"Vous devez redémarrer votre ordinateur pour que la modification soit prise en compte. Cliquez sur Oui pour redémarrer maintenant ou sur Non pour redémarrer ultérieurement."},
        {163, L"需要重启电脑才能生效.点击\"是\"立即重启,点击\"否\"稍后重启."},
        {171, L"Fermer Noah 4 avant de lancer la mise à jour."},
    };
    SetupImage setup;
    ASSERT_NE(nullptr, setup.Get());
    for (const auto& c : cases) {
        wchar_t text[2048] = {};
        const int length = LoadStringW(setup.Get(), c.id, text, 2048);
        EXPECT_EQ(static_cast<int>(wcslen(c.text)), length) << c.id;
        EXPECT_EQ(std::wstring(c.text), text) << c.id;
    }
}

TEST(Resources, VersionBlockNamesTheProgram)
{
    const std::wstring path = testsupport::BinDir() + L"Setup.exe";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, &block[0]));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(&block[0], L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(MAKELONG(9, 3), fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(9, 3), fixed->dwProductVersionMS);

    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } texts[] = {
        {L"FileDescription", L"Corvia Installer"},
        {L"ProductName", L"Corvia"},
        {L"InternalName", L"Setup.exe"},
        {L"OriginalFilename", L"Setup.exe"},
    };
    for (const auto& t : texts) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + t.name;
        wchar_t* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(&block[0], key.c_str(), reinterpret_cast<void**>(&value), &length))
            << testsupport::Narrow(t.name);
        EXPECT_EQ(std::wstring(t.value), value);
    }
}

TEST(Resources, ManifestAsksForAdministratorAndIconIsThere)
{
    SetupImage setup;
    const std::string manifest = setup.Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\" uiAccess=\"false\""));
    EXPECT_NE(std::string::npos, manifest.find("<dpiAware"));
    EXPECT_NE(std::string::npos, manifest.find("{e2011457-1546-43c5-a5fe-008deee3d3f0}")); // Vista
    EXPECT_NE(std::string::npos, manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}")); // 10 and 11
    EXPECT_FALSE(setup.Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1)).empty());
}

} // namespace
