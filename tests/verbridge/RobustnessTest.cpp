// A bounded run of damaged market files through the export in one process, and
// files beyond the size bound. Nothing may crash, write past the caller's buffer
// or leave handles behind.
#include "BridgeTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bridgetest {
namespace {

// A small fixed-seed generator, so that a failing run can be repeated exactly.
class Random {
public:
    explicit Random(std::uint32_t seed) : m_state(seed != 0 ? seed : 1) {}
    std::uint32_t Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    size_t Below(size_t bound) { return bound == 0 ? 0 : Next() % bound; }

private:
    std::uint32_t m_state;
};

enum class Mutation { FlipBits, Truncate, AppendBytes, AppendBlocks, SwapBlocks, CopyBlock, Count };

const char* Describe(Mutation mutation)
{
    switch (mutation) {
    case Mutation::FlipBits: return "bit flips";
    case Mutation::Truncate: return "truncation";
    case Mutation::AppendBytes: return "appended bytes";
    case Mutation::AppendBlocks: return "appended blocks";
    case Mutation::SwapBlocks: return "swapped blocks";
    case Mutation::CopyBlock: return "copied block";
    default: return "?";
    }
}

// Block moves keep every block valid ciphertext (ECB), so they produce
// documents that decrypt and then fail, or pass, further along.
std::vector<BYTE> Mutate(const std::vector<BYTE>& source, Mutation mutation, Random& random)
{
    std::vector<BYTE> bytes = source;
    const size_t blocks = bytes.size() / 8;
    switch (mutation) {
    case Mutation::FlipBits:
        for (size_t n = 1 + random.Below(4); n > 0 && !bytes.empty(); --n)
            bytes[random.Below(bytes.size())] ^= static_cast<BYTE>(1u << random.Below(8));
        break;
    case Mutation::Truncate:
        bytes.resize(random.Below(bytes.size()));
        break;
    case Mutation::AppendBytes:
        for (size_t n = 1 + random.Below(24); n > 0; --n)
            bytes.push_back(static_cast<BYTE>(random.Next()));
        break;
    case Mutation::AppendBlocks:
        for (size_t n = 1 + random.Below(3); n > 0 && blocks > 0; --n) {
            size_t from = random.Below(blocks) * 8;
            std::vector<BYTE> block(bytes.begin() + from, bytes.begin() + from + 8);
            bytes.insert(bytes.end(), block.begin(), block.end());
        }
        break;
    case Mutation::SwapBlocks:
        if (blocks > 1) {
            size_t a = random.Below(blocks) * 8;
            size_t b = random.Below(blocks) * 8;
            for (size_t i = 0; i < 8; ++i)
                std::swap(bytes[a + i], bytes[b + i]);
        }
        break;
    case Mutation::CopyBlock:
        if (blocks > 1) {
            size_t from = random.Below(blocks) * 8;
            size_t to = random.Below(blocks) * 8;
            for (size_t i = 0; i < 8; ++i)
                bytes[to + i] = bytes[from + i];
        }
        break;
    default:
        break;
    }
    return bytes;
}

// A written text is the caller's buffer with a terminated version text in front:
// at most 1023 units, the rest untouched, and two full stops at least unless the
// text was cut at the buffer's end.
::testing::AssertionResult PlausibleResult(const CallerBuffer& buffer)
{
    if (!buffer.GuardIntact())
        return ::testing::AssertionFailure() << "written past the 1024 units";
    if (buffer.Untouched())
        return ::testing::AssertionSuccess();
    const std::wstring text = buffer.Text();
    if (text.size() >= CallerBuffer::kChars)
        return ::testing::AssertionFailure() << "no terminator within 1024 units";
    size_t stops = 0;
    for (wchar_t c : text)
        stops += c == L'.' ? 1 : 0;
    if (stops < 2 && text.size() < CallerBuffer::kChars - 1)
        return ::testing::AssertionFailure() << "not a version text: " << Narrow(text);
    return buffer.Holds(text);
}

TEST(Robustness, DamagedMarketFilesNeverHurtTheCaller)
{
    REQUIRE_MARKET_FIXTURES();
    const wchar_t* const seeds[] = {L"version_2_10_3", L"version_utf16", L"version_latin1", L"version_1504",
                                    L"version_after_foreign_version", L"first_version_incomplete"};
    std::vector<std::vector<BYTE>> sources;
    for (const wchar_t* name : seeds) {
        sources.push_back(ReadBytes(MarketFile(name)));
        ASSERT_FALSE(sources.back().empty()) << Narrow(name);
    }

    Bridge bridge;
    ASSERT_TRUE(bridge);
    QuietStdout quiet;
    TempFolder folder;
    const std::wstring path = folder.Path() + L"damaged.mkt";

    // Warm up the platform's one-time handles before counting.
    ASSERT_TRUE(WriteBytes(path, sources[0]));
    CallerBuffer warmUp;
    bridge.Function()(path.c_str(), warmUp.Data());
    ASSERT_TRUE(warmUp.Holds(L"2.10.3"));
    const DWORD before = HandleCount();

    const int kRuns = 3000;
    Random random(0x5EED1234u);
    int versions = 0;
    for (int run = 0; run < kRuns; ++run) {
        const size_t source = random.Below(sources.size());
        const Mutation mutation = static_cast<Mutation>(random.Below(static_cast<size_t>(Mutation::Count)));
        ASSERT_TRUE(WriteBytes(path, Mutate(sources[source], mutation, random)));
        CallerBuffer buffer;
        bridge.Function()(path.c_str(), buffer.Data());
        ASSERT_TRUE(PlausibleResult(buffer)) << "run " << run << ": " << Describe(mutation) << " of "
                                             << Narrow(seeds[source]);
        versions += buffer.Untouched() ? 0 : 1;
    }
    EXPECT_LE(HandleCount(), before + 8) << "handles before: " << before;
    // The run is only meaningful if damage reached past the decryption now and then.
    std::printf("%d of %d damaged files still gave a version\n", versions, kRuns);
}

TEST(Robustness, FilesBeyond64MiBAreNotRead)
{
    REQUIRE_MARKET_FIXTURES();
    const std::vector<BYTE> head = ReadBytes(MarketFile(L"piece_head"));
    const std::vector<BYTE> blanks = ReadBytes(MarketFile(L"piece_blanks"));
    const std::vector<BYTE> tail = ReadBytes(MarketFile(L"piece_tail"));
    ASSERT_FALSE(head.empty());
    ASSERT_EQ(8u, blanks.size());
    ASSERT_FALSE(tail.empty());

    Bridge bridge;
    ASSERT_TRUE(bridge);
    QuietStdout quiet;
    TempFolder folder;
    const size_t kBound = 64u * 1024 * 1024;
    // The same document, once exactly at the bound and once one block beyond it.
    for (size_t total : {kBound, kBound + 8}) {
        std::vector<BYTE> bytes;
        bytes.reserve(total);
        bytes.insert(bytes.end(), head.begin(), head.end());
        while (bytes.size() < total - tail.size())
            bytes.insert(bytes.end(), blanks.begin(), blanks.end());
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        ASSERT_EQ(total, bytes.size());
        const std::wstring path = folder.Path() + L"large.mkt";
        ASSERT_TRUE(WriteBytes(path, bytes));
        bytes.clear();
        bytes.shrink_to_fit();

        CallerBuffer buffer;
        bridge.Function()(path.c_str(), buffer.Data());
        if (total == kBound)
            EXPECT_TRUE(buffer.Holds(L"2.10.3")) << "a file of exactly 64 MiB is read";
        else
            EXPECT_TRUE(buffer.Untouched() && buffer.GuardIntact()) << "a file beyond 64 MiB is not read";
        EXPECT_TRUE(DeleteFileW(path.c_str()));
    }
}

} // namespace
} // namespace bridgetest
