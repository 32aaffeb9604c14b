// The library's face to its callers: one export under its plain name, the stdcall
// convention of a 32-bit caller, and the version block.
#include "BridgeTestSupport.h"

#include <string>

namespace bridgetest {
namespace {

TEST(Export, GetVersionIsTheOnlyExport)
{
    Bridge bridge;
    ASSERT_NE(nullptr, bridge.Module());
    EXPECT_NE(nullptr, bridge.Function());

    // Walk the loaded image's export directory: exactly one name, undecorated.
    const BYTE* base = reinterpret_cast<const BYTE*>(bridge.Module());
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, entry.VirtualAddress);
    const IMAGE_EXPORT_DIRECTORY* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    ASSERT_EQ(1u, exports->NumberOfNames);
    const DWORD* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    EXPECT_STREQ("GetVersion", reinterpret_cast<const char*>(base + names[0]));
}

TEST(Export, StdcallCallerGetsTheText)
{
    REQUIRE_MARKET_FIXTURES();
    Bridge bridge;
    ASSERT_TRUE(bridge);
    QuietStdout quiet;
    const std::wstring path = MarketFile(L"version_2_10_3");
    CallerBuffer buffer;
    buffer.FillZero();

#if defined(__GNUC__) && defined(__i386__)
    // The callee must take its two arguments off the stack: the stack pointer is
    // the same before and after the call only when both sides agree on stdcall.
    GetVersionFn fn = bridge.Function();
    const wchar_t* pathArgument = path.c_str();
    wchar_t* out = buffer.Data();
    long moved = 0;
    // esi is callee-saved, so it still holds the stack pointer of before the call.
    __asm__ __volatile__(
        "movl %%esp, %%esi\n\t"
        "pushl %[out]\n\t"
        "pushl %[path]\n\t"
        "call *%[fn]\n\t"
        "movl %%esp, %%eax\n\t"
        "subl %%esi, %%eax\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(moved)
        : [fn] "r"(fn), [out] "r"(out), [path] "r"(pathArgument)
        : "esi", "ecx", "edx", "memory", "cc");
    EXPECT_EQ(0, moved) << "the stack pointer moved by " << moved << " bytes across the call";
#else
    bridge.Function()(path.c_str(), buffer.Data());
#endif
    EXPECT_TRUE(buffer.Holds(L"2.10.3"));
}

TEST(Export, VersionBlockNamesTheLibrary)
{
    const std::wstring path = ProgramFolder() + L"VerBridge.dll";
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(8, 3), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwProductVersionLS);

    for (const wchar_t* key : {L"\\StringFileInfo\\040904b0\\FileDescription", L"\\StringFileInfo\\040904b0\\ProductName"}) {
        wchar_t* value = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&value), &length)) << Narrow(key);
        EXPECT_STREQ(L"VerBridge", value);
    }
}

} // namespace
} // namespace bridgetest
