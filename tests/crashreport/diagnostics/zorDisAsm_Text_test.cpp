// Instruction text: operands, prefixes, prefix-chosen names, "db" lines,
// register names of 64-bit code and the name and string comments.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crashreport/diagnostics/zorDisAsm.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/diagnostics/zorDisAsm_TestImage.h"

namespace {

constexpr uintptr_t ImageBase = FakeImageBase;

std::string Text(TFakeImage& image, size_t offset)
{
    return InstructionTextIn(image.env, TFakeImage::At(offset), nullptr, false);
}

// The text after the address column and its three blanks.
std::string Body(const std::string& line)
{
    return line.size() > static_cast<size_t>(ZorAddressDigits) + 3 ? line.substr(ZorAddressDigits + 3) : "";
}

std::string Text32(const std::vector<uint8_t>& code)
{
    TFakeImage image;
    image.Put(0, code);
    return Body(Text(image, 0));
}

std::string Text64(const std::vector<uint8_t>& code)
{
    TFakeImage image(TCodeMode::Bits64);
    image.Put(0, code);
    return Body(Text(image, 0));
}

// Collapses runs of blanks, so that tests read the words and not the padding.
std::string Words(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

} // namespace

TEST(ZorDisAsmText, Operands32)
{
    struct TRow {
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const TRow rows[] = {
        {{0x8B, 0x44, 0x88, 0xF0}, "mov eax, [eax+ecx*4-$10]"},
        {{0x8B, 0x45, 0x08}, "mov eax, [ebp+8]"},
        {{0x8B, 0x45, 0xF8}, "mov eax, [ebp-8]"},
        {{0x8B, 0x05, 0x78, 0x56, 0x34, 0x12}, "mov eax, [$12345678]"},
        {{0x8B, 0x04, 0x8D, 0x08, 0x00, 0x00, 0x00}, "mov eax, [ecx*4+8]"},
        {{0x80, 0x00, 0x05}, "add byte ptr [eax], 5"},
        {{0x66, 0x81, 0x00, 0x34, 0x12}, "add word ptr [eax], $1234"},
        {{0x83, 0xE8, 0xF0}, "sub eax, -$10"},
        {{0x83, 0xC0, 0xFF}, "add eax, -1"},
        {{0x6A, 0xFF}, "push $ffffffff"},
        {{0x64, 0x8B, 0x00}, "mov eax, fs:[eax]"},
        {{0x67, 0x8B, 0x42, 0x04}, "mov eax, [bp+si+4]"},
        {{0x88, 0x08}, "mov [eax], cl"},
        {{0xA1, 0x78, 0x56, 0x34, 0x12}, "mov eax, [$12345678]"},
        {{0xA2, 0x00, 0x10, 0x00, 0x00}, "mov [$1000], al"},
        {{0xD1, 0xE0}, "shl eax, 1"},
        {{0xD3, 0xE8}, "shr eax, cl"},
        {{0xC8, 0x10, 0x00, 0x01}, "enter $10, $1"},
        {{0x9A, 0x78, 0x56, 0x34, 0x12, 0x34, 0x12}, "call $1234:$12345678"},
        {{0xE6, 0x70}, "out $70, al"},
        {{0xEE}, "out dx, al"},
        {{0x87, 0xCA}, "xchg edx, ecx"},
        {{0x93}, "xchg eax, ebx"},
        {{0xD4, 0x0A}, "aam"},
        {{0xD8, 0xE1}, "fsub st, st(1)"},
        {{0xDC, 0xE1}, "fsubr st(1), st"},
        {{0xDD, 0x00}, "fld qword ptr [eax]"},
        {{0x0F, 0x6F, 0xC1}, "movq mm0, mm1"},
        {{0x66, 0x0F, 0x6F, 0xC1}, "movdqa xmm0, xmm1"},
        {{0xF3, 0x0F, 0x6F, 0xC1}, "movdqu xmm0, xmm1"},
        {{0xF2, 0x0F, 0x2A, 0xC0}, "cvtsi2sd xmm0, eax"},
        {{0xF3, 0x0F, 0x2D, 0xC1}, "cvtss2si eax, xmm1"},
        {{0x0F, 0x2E, 0xC1}, "ucomiss xmm0, xmm1"},
        {{0x0F, 0x20, 0xC0}, "mov eax, cr0"},
        {{0x0F, 0xB6, 0x00}, "movzx eax, byte ptr [eax]"},
        {{0x0F, 0xAE, 0xE8}, "lfence"},
        {{0x0F, 0x0F, 0xC1, 0x9E}, "pfadd mm0, mm1"},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(Words(Text32(row.bytes)), row.text);
}

TEST(ZorDisAsmText, PrefixesAndNames)
{
    struct TRow {
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const TRow rows[] = {
        {{0xF3, 0xA5}, "rep movsd"},
        {{0x66, 0xA5}, "movsw"},
        {{0xF2, 0xAE}, "repne scasb"},
        {{0xF0, 0xFF, 0x00}, "lock inc dword ptr [eax]"},
        {{0xF3, 0x0F, 0x10, 0xC1}, "movss xmm0, xmm1"},
        {{0x0F, 0x58, 0xC1}, "addps xmm0, xmm1"},
        {{0x66, 0x0F, 0x58, 0xC1}, "addpd xmm0, xmm1"},
        {{0xF2, 0x0F, 0x58, 0xC1}, "addsd xmm0, xmm1"},
        {{0xF3, 0x0F, 0x58, 0xC1}, "addss xmm0, xmm1"},
        {{0xF2, 0x0F, 0x7C, 0xC1}, "haddps xmm0, xmm1"},
        {{0x66, 0x0F, 0x7C, 0xC1}, "haddpd xmm0, xmm1"},
        {{0xD9, 0xE8}, "fld1"},
        {{0xDF, 0xE0}, "fnstsw ax"},
        {{0xCC}, "int 3"},
        {{0x0F, 0x94, 0xC0}, "setz al"},
        {{0x0F, 0x4C, 0xC1}, "cmovl eax, ecx"},
        {{0x0F, 0xA1}, "pop fs"},
        {{0x1E}, "push ds"},
        {{0x66, 0x98}, "cbw"},
        {{0xFF, 0x30}, "push dword ptr [eax]"},
        {{0x0F, 0xBA, 0xE0, 0x05}, "bt eax, 5"},
        {{0x0F, 0xAE, 0x38}, "clflush [eax]"},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(Words(Text32(row.bytes)), row.text);
}

TEST(ZorDisAsmText, RelativeTargetsAndLayout)
{
    TFakeImage image;
    image.Put(0x10, {0x75, 0x10});             // jnz +$10
    image.Put(0x20, {0xEB, 0xFE});             // jmp -2
    image.Put(0x30, {0xE8, 0x05, 0, 0, 0});    // call +5
    image.Put(0x40, {0x0F, 0x84, 0, 0, 0, 0}); // jz +0
    EXPECT_EQ(Words(Body(Text(image, 0x10))), "jnz +$10 ($400022)");
    EXPECT_EQ(Words(Body(Text(image, 0x20))), "jmp -2 ($400020)");
    EXPECT_EQ(Words(Body(Text(image, 0x30))), "call +5 ($40003a)");
    // The address column and the operand column.
    const std::string line = Text(image, 0x10);
    EXPECT_EQ(line.substr(0, ZorAddressDigits + 3), AddressTextA(ImageBase + 0x10) + "   ");
    EXPECT_EQ(line.find("+$10"), static_cast<size_t>(ZorAddressDigits) + 11);
    // No operands: no padding.
    image.Put(0x50, {0xC3});
    EXPECT_EQ(Text(image, 0x50), AddressTextA(ImageBase + 0x50) + "   ret");
}

TEST(ZorDisAsmText, InvalidBytesAreDbLines)
{
    TFakeImage image;
    image.Put(0, {0x8D, 0xC0});
    EXPECT_EQ(Text(image, 0), AddressTextA(ImageBase) + "   db $8d\r\n" + AddressTextA(ImageBase + 1) + "   db $c0");
    image.Put(0x10, {0x0F, 0x04});
    EXPECT_EQ(Text(image, 0x10),
              AddressTextA(ImageBase + 0x10) + "   db $0f\r\n" + AddressTextA(ImageBase + 0x11) + "   db $04");
}

TEST(ZorDisAsmText, Registers64)
{
    struct TRow {
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const TRow rows[] = {
        {{0x48, 0x8B, 0xC1}, "mov rax, rcx"},
        {{0x44, 0x8B, 0xC1}, "mov r8d, ecx"},
        {{0x4D, 0x8B, 0xF9}, "mov r15, r9"},
        {{0x40, 0x88, 0xF0}, "mov al, sil"},
        {{0x88, 0xF0}, "mov al, dh"},
        {{0x41, 0xB0, 0x05}, "mov r8b, 5"},
        {{0x66, 0x41, 0x89, 0xC0}, "mov r8w, ax"},
        {{0x41, 0x50}, "push r8"},
        {{0x55}, "push rbp"},
        {{0x48, 0x8B, 0x44, 0x24, 0x08}, "mov rax, [rsp+8]"},
        {{0x42, 0x8B, 0x04, 0xA0}, "mov eax, [rax+r12*4]"},
        {{0x48, 0xC7, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF}, "mov rax, $ffffffffffffffff"},
        {{0x48, 0x83, 0x00, 0x01}, "add qword ptr [rax], 1"},
        {{0xFF, 0x30}, "push qword ptr [rax]"},
        {{0x48, 0x63, 0xC7}, "movsxd rax, edi"},
        {{0x48, 0x98}, "cdqe"},
        {{0x48, 0x99}, "cqo"},
        {{0xF3, 0x48, 0xAB}, "rep stosq"},
        {{0xF3, 0x0F, 0x1E, 0xFA}, "endbr64"},
        {{0x0F, 0x0B}, "ud2"},
        {{0x0F, 0x05}, "syscall"},
        {{0x66, 0x48, 0x0F, 0x6E, 0xC0}, "movq xmm0, rax"},
        {{0x44, 0x0F, 0x28, 0xC1}, "movaps xmm8, xmm1"},
        {{0x64, 0x48, 0x8B, 0x04, 0x25, 0x28, 0x00, 0x00, 0x00}, "mov rax, fs:[$28]"},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(Words(Text64(row.bytes)), row.text);
    // RIP-relative operands are written with the address they name.
    const std::string rip = Words(Text64({0x48, 0x8B, 0x05, 0x10, 0x00, 0x00, 0x00}));
    EXPECT_EQ(rip, "mov rax, [" + Int64ToHexTextA(ImageBase + 7 + 0x10) + "]");
}

TEST(ZorDisAsmText, NameComment)
{
    TFakeImage image;
    image.env.exportNameOf = [](const TDisAsmEnvironment&, uintptr_t address) {
        return address == ImageBase + 0x100 ? std::string("TargetRoutine") : std::string();
    };
    image.env.moduleSuffixOf = [](const TDisAsmEnvironment&, uintptr_t) { return std::string(" (libfake.so)"); };
    image.Put(0, {0xE8, 0xFB, 0x00, 0x00, 0x00}); // call $400100
    const std::string line = Text(image, 0);
    const size_t comment = line.find("  ; ");
    EXPECT_EQ(comment, static_cast<size_t>(ZorAddressDigits) + 32);
    EXPECT_EQ(line.substr(comment), "  ; TargetRoutine (libfake.so)");
    // A thunk without a name of its own takes the name of where it jumps.
    image.Put(0x20, {0xE8, 0x1B, 0x00, 0x00, 0x00}); // call $400040
    image.Put(0x40, {0xE9, 0xBB, 0x00, 0x00, 0x00}); // jmp $400100
    EXPECT_NE(Text(image, 0x20).find("  ; TargetRoutine"), std::string::npos);
    // No name: no comment.
    image.Put(0x60, {0xE8, 0x00, 0x01, 0x00, 0x00});
    EXPECT_EQ(Text(image, 0x60).find(';'), std::string::npos);
}

TEST(ZorDisAsmText, StringComment)
{
    TFakeImage image;
    const char hello[] = "Hello, world";
    memcpy(image.bytes.data() + 0x200, hello, sizeof(hello));
    const uint8_t binary[] = {0x01, 0x02, 0x03, 0xFF, 0x7F, 0x80, 0x00};
    memcpy(image.bytes.data() + 0x300, binary, sizeof(binary));
    image.Put(0, {0xB8, 0x00, 0x02, 0x40, 0x00});    // mov eax, $400200
    image.Put(0x10, {0xB8, 0x00, 0x03, 0x40, 0x00}); // mov eax, $400300
    image.Put(0x20, {0xB8, 0xF0, 0x0F, 0x40, 0x00}); // mov eax, $400ff0: too close to the image's end
    const std::string line = Text(image, 0);
    EXPECT_EQ(line.substr(line.find("  ; ")), "  ; 'Hello, world'");
    EXPECT_EQ(line.find("  ; "), static_cast<size_t>(ZorAddressDigits) + 32);
    EXPECT_EQ(Text(image, 0x10).find(';'), std::string::npos);
    EXPECT_EQ(Text(image, 0x20).find(';'), std::string::npos);
    // Reading through a pointer: mov eax, [$400400] where $400400 holds $400200.
    const uint32_t pointer = ImageBase + 0x200;
    memcpy(image.bytes.data() + 0x400, &pointer, 4);
    image.Put(0x30, {0x8B, 0x05, 0x00, 0x04, 0x40, 0x00});
    const std::string through = Text(image, 0x30);
    EXPECT_NE(through.find("  ; 'Hello, world'"), std::string::npos) << through;
}

TEST(ZorDisAsmText, StringCommentReadsSafelyAtAGap)
{
    // The image claims more than is readable: the text is cut at the
    // readable end instead of faulting.
    std::vector<uint8_t> bytes(0x200, 0);
    const char text[] = "Readable text up to the end";
    memcpy(bytes.data() + 0x200 - 16, text, 16);
    TBufferMemory memory(ImageBase, bytes.data(), bytes.size());
    TDisAsmEnvironment env;
    env.memory = &memory;
    env.mode = TCodeMode::Bits32;
    env.imageOf = [](const TDisAsmEnvironment&, uintptr_t, uintptr_t& base, uintptr_t& size) {
        base = ImageBase;
        size = 0x1000;
        return true;
    };
    std::string line = "x";
    AddStringCommentIn(env, ImageBase, ImageBase + 0x200 - 16, false, line);
    EXPECT_EQ(line.substr(line.find("  ; ")), "  ; 'Readable text up'");
}

namespace {
__attribute__((noinline)) const char* HelloText()
{
    return "Hello from the listing";
}
} // namespace

TEST(ZorDisAsmText, StringCommentInThisProgram)
{
    // The function loads the text's address RIP-relative; the comment shows it.
    const uintptr_t at = reinterpret_cast<uintptr_t>(&HelloText);
    TInstrInfo info;
    std::string text;
    uintptr_t address = at;
    for (int i = 0; i < 8 && text.find("  ; '") == std::string::npos; ++i) {
        text = InstructionText(address, nullptr, false, &info);
        ASSERT_TRUE(info.valid) << text;
        address = info.next;
    }
    EXPECT_NE(text.find("  ; 'Hello from the listing'"), std::string::npos) << text;
    EXPECT_STREQ(HelloText(), "Hello from the listing");
}
