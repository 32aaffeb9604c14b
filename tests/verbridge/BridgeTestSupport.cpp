#include "BridgeTestSupport.h"

#include <shellapi.h>

namespace bridgetest {

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = L"";
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

Bridge::Bridge()
{
    m_module = LoadLibraryW((ProgramFolder() + L"VerBridge.dll").c_str());
    if (m_module != nullptr)
        m_function = reinterpret_cast<GetVersionFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "GetVersion")));
}

Bridge::~Bridge()
{
    if (m_module != nullptr)
        FreeLibrary(m_module);
}

wchar_t CallerBuffer::Pattern(size_t index) const
{
    if (index >= kChars)
        return static_cast<wchar_t>(0xFDFD);
    if (m_zero)
        return L'\0';
    // Letters and a few other units, never NUL and never a full stop.
    return static_cast<wchar_t>(L'A' + index % 26 + (index / 26 % 2) * 0x3000);
}

void CallerBuffer::Fill()
{
    m_zero = false;
    for (size_t i = 0; i < m_data.size(); ++i)
        m_data[i] = Pattern(i);
}

void CallerBuffer::FillZero()
{
    m_zero = true;
    for (size_t i = 0; i < m_data.size(); ++i)
        m_data[i] = Pattern(i);
}

bool CallerBuffer::Untouched() const
{
    for (size_t i = 0; i < kChars; ++i) {
        if (m_data[i] != Pattern(i))
            return false;
    }
    return true;
}

bool CallerBuffer::GuardIntact() const
{
    for (size_t i = kChars; i < m_data.size(); ++i) {
        if (m_data[i] != Pattern(i))
            return false;
    }
    return true;
}

::testing::AssertionResult CallerBuffer::Holds(const std::wstring& text) const
{
    if (text.size() >= kChars)
        return ::testing::AssertionFailure() << "expected text does not fit the buffer";
    if (std::wstring(m_data.data(), text.size()) != text || m_data[text.size()] != L'\0')
        return ::testing::AssertionFailure() << "buffer holds \"" << Narrow(Text()) << "\", expected \""
                                             << Narrow(text) << "\"";
    for (size_t i = text.size() + 1; i < kChars; ++i) {
        if (m_data[i] != Pattern(i))
            return ::testing::AssertionFailure() << "unit " << i << " after the terminator was written";
    }
    if (!GuardIntact())
        return ::testing::AssertionFailure() << "written past the 1024 units";
    return ::testing::AssertionSuccess();
}

std::wstring CallerBuffer::Text() const
{
    size_t length = 0;
    while (length < kChars && m_data[length] != L'\0')
        ++length;
    return std::wstring(m_data.data(), length);
}

std::wstring MarketFolder()
{
    wchar_t value[MAX_PATH] = L"";
    DWORD length = GetEnvironmentVariableW(L"SETUP_TEST_DATA", value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    std::wstring folder(value, length);
    if (folder.back() != L'\\')
        folder += L'\\';
    return folder + L"market\\";
}

std::wstring MarketFile(const wchar_t* name)
{
    return MarketFolder() + name + L".mkt";
}

bool MarketFixturesBuilt()
{
#ifdef VERBRIDGE_NO_MARKET_FIXTURES
    return false;
#else
    return !MarketFolder().empty() &&
           GetFileAttributesW(MarketFile(L"version_2_10_3").c_str()) != INVALID_FILE_ATTRIBUTES;
#endif
}

TempFolder::TempFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    static unsigned serial = 0;
    wchar_t unique[64] = L"";
    wsprintfW(unique, L"%ls-%lu-%u\\", name, GetCurrentProcessId(), ++serial);
    m_path = std::wstring(temp) + unique;
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder()
{
    // Double NUL-terminated, as the shell wants it.
    std::wstring from = m_path.substr(0, m_path.size() - 1);
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&operation);
}

std::vector<BYTE> ReadBytes(const std::wstring& path)
{
    std::vector<BYTE> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart < 16 * 1024 * 1024) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!bytes.empty() && (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                               read != bytes.size()))
            bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

bool WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = bytes.empty() ||
              (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size());
    CloseHandle(file);
    return ok;
}

DWORD HandleCount()
{
    // Not declared for the Windows version this project targets; looked up instead.
    using Fn = BOOL(WINAPI*)(HANDLE, PDWORD);
    static Fn fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProcessHandleCount")));
    DWORD count = 0;
    if (fn != nullptr && fn(GetCurrentProcess(), &count) && count != 0)
        return count;
    // Wine's GetProcessHandleCount answers 0: count the handle values that name an
    // open object instead (handles are small multiples of 4).
    count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

QuietStdout::QuietStdout() : m_saved(GetStdHandle(STD_OUTPUT_HANDLE))
{
    m_null = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
    if (m_null != INVALID_HANDLE_VALUE)
        SetStdHandle(STD_OUTPUT_HANDLE, m_null);
}

QuietStdout::~QuietStdout()
{
    SetStdHandle(STD_OUTPUT_HANDLE, m_saved);
    if (m_null != INVALID_HANDLE_VALUE)
        CloseHandle(m_null);
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

} // namespace bridgetest
