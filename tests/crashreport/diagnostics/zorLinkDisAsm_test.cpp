// The link unit fills the report's disassembly hook with the listing.
#include <gtest/gtest.h>

#include "crashreport/diagnostics/zorLinkDisAsm.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {
__attribute__((noinline)) int LinkedFunction(int x)
{
    return x * 7 + 3;
}
} // namespace

TEST(ZorLinkDisAsm, StartUpFillsTheHook)
{
    const TDisAsmHook before = DisAsmHook;
    DisAsmHook = nullptr;
    LinkDisAsm();
    ASSERT_EQ(DisAsmHook, &ParseFunction);
    LinkDisAsm(); // once is enough; a second start-up changes nothing
    EXPECT_EQ(DisAsmHook, &ParseFunction);
    const uintptr_t entry = reinterpret_cast<uintptr_t>(&LinkedFunction);
    TFunctionInfo info;
    const std::string text = DisAsmHook(entry, entry, true, 50, info);
    EXPECT_TRUE(info.valid);
    EXPECT_NE(text.find(AddressTextA(entry) + " > "), std::string::npos) << text;
    EXPECT_EQ(LinkedFunction(1), 10);
    DisAsmHook = before;
}
