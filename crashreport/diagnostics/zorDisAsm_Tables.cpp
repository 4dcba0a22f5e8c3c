// The opcode tables of the disassembler: one flag word and one mnemonic per
// opcode of the one-byte and the 0F maps, the group rows of F6, F7 and the x87
// escapes, the rows that differ in 64-bit code, and the names.
#include "crashreport/diagnostics/zorDisAsm_Internal.h"

namespace zordisasm {

namespace {

// Mnemonic entries by name (the position in MnemonicList).
// clang-format off
enum : uint16_t {
    m_aaa = 1, m_aad = 2, m_aam = 3, m_aas = 4, m_adc = 5, m_add = 6, m_addps = 7, m_and = 8, m_andnps = 9,
    m_arpl = 10, m_bound = 11, m_bsf = 12, m_bsr = 13, m_bswap = 14, m_bt = 15, m_btc = 16, m_btr = 17, m_bts = 18,
    m_call = 19, m_clc = 20, m_cld = 21, m_cli = 22, m_clts = 23, m_cmc = 24, m_cmovcc = 25, m_cmp = 26,
    m_cmpps = 27, m_cmpsb = 28, m_cmpxchg = 29, m_cmpxchg8b = 30, m_comiss = 31, m_cpuid = 32, m_cvtpi2ps = 33,
    m_cvtps2pi = 34, m_cvttps2pi = 35, m_daa = 36, m_das = 37, m_dec = 38, m_divps = 39, m_emms = 40, m_enter = 41,
    m_femms = 42, m_hlt = 43, m_imul = 44, m_in = 45, m_inc = 46, m_insb = 47, m_int = 48, m_int3 = 49,
    m_int01 = 50, m_into = 51, m_invd = 52, m_iret = 53, m_jcc = 54, m_jecxz = 55, m_jmp = 56, m_lahf = 57,
    m_lar = 58, m_lds = 59, m_lea = 60, m_leave = 61, m_les = 62, m_lfs = 63, m_lgs = 64, m_sysret = 65,
    m_lodsb = 66, m_loop = 67, m_loope = 68, m_loopne = 69, m_lsl = 70, m_lss = 71, m_maxps = 72, m_minps = 73,
    m_mov = 74, m_movaps = 75, m_movd = 76, m_movhps = 77, m_movlps = 78, m_movmskps = 79, m_movnti = 80,
    m_movntps = 81, m_movsb = 82, m_movsx = 83, m_movzx = 84, m_mulps = 85, m_nop = 86, m_or = 87, m_orps = 88,
    m_out = 89, m_outsb = 90, m_packssdw = 91, m_packsswb = 92, m_packuswb = 93, m_paddb = 94, m_paddd = 95,
    m_paddq = 96, m_paddsb = 97, m_paddsw = 98, m_paddusb = 99, m_paddusw = 100, m_paddw = 101, m_pand = 102,
    m_pandn = 103, m_pavgb = 104, m_pavgw = 105, m_pcmpeqb = 106, m_pcmpeqd = 107, m_pcmpeqw = 108,
    m_pcmpgtb = 109, m_pcmpgtd = 110, m_pcmpgtw = 111, m_pextrw = 112, m_pinsrw = 113, m_pmaddwd = 114,
    m_pmaxsw = 115, m_pmaxub = 116, m_pminsw = 117, m_pminub = 118, m_pmovmskb = 119, m_pmulhuw = 120,
    m_pmulhw = 121, m_pmullw = 122, m_pmuludq = 123, m_pop = 124, m_por = 125, m_psadbw = 126, m_pslld = 127,
    m_psllq = 128, m_psllw = 129, m_psrad = 130, m_psraw = 131, m_psrld = 132, m_psrlq = 133, m_psrlw = 134,
    m_psubb = 135, m_psubd = 136, m_psubq = 137, m_psubsb = 138, m_psubsw = 139, m_psubusb = 140, m_psubusw = 141,
    m_psubw = 142, m_punpckhbw = 143, m_punpckhdq = 144, m_punpckhqdq = 145, m_punpckhwd = 146, m_punpcklbw = 147,
    m_punpckldq = 148, m_punpcklwd = 149, m_punpcklqdq = 150, m_push = 151, m_pxor = 152, m_rcpps = 153,
    m_rdmsr = 154, m_rdpmc = 155, m_rdtsc = 156, m_ret = 157, m_rsm = 158, m_rsqrtps = 159, m_sahf = 160,
    m_salc = 161, m_sbb = 162, m_scasb = 163, m_setcc = 164, m_shld = 165, m_shrd = 166, m_shufps = 167,
    m_sqrtps = 168, m_stc = 169, m_std = 170, m_sti = 171, m_stosb = 172, m_sub = 173, m_subps = 174,
    m_syscall = 175, m_sysenter = 176, m_sysexit = 177, m_test = 178, m_ucomiss = 179, m_unpckhps = 180,
    m_unpcklps = 181, m_wait = 182, m_wbinvd = 183, m_wrmsr = 184, m_xadd = 185, m_xchg = 186, m_xlat = 187,
    m_xor = 188, m_xorps = 189, m_cwde = 190, m_cdq = 191, m_popseg = 192, m_popad = 193, m_popfd = 194,
    m_pushseg = 195, m_pushad = 196, m_pushfd = 197, m_outsd = 198, m_insd = 199, m_movsd = 200, m_cmpsd = 201,
    m_lodsd = 202, m_stosd = 203, m_scasd = 204, m_maskmovq = 205, m_movd_movq = 206, m_movntq = 207,
    m_movq_movdq2q = 208, m_movq_movdqa = 209, m_movups = 210, m_prefetch = 211, m_pshufw = 212, m_grp0F01 = 213,
    m_grp0F00 = 214, m_grp0FBA = 215, m_grp0F72 = 216, m_grp0F73 = 217, m_grp0F71 = 218, m_cvtdq2ps = 219,
    m_cvtps2pd = 220, m_cvttpd2dq = 221, m_grp1 = 222, m_grp45 = 223, m_grp2 = 224, m_grp3 = 225, m_fpuD8DC = 226,
    m_movhlps = 227, m_movlhps = 228, m_prefetchnta = 229, m_grp0FAE = 230, m_fpuD9 = 231, m_fpuDA = 232,
    m_fpuDB = 233, m_fpuDD = 234, m_fpuDE = 235, m_fpuDF = 236, m_andps = 237, m_addsubpd = 238, m_haddpd = 239,
    m_hsubpd = 240, m_lddqu = 241,
};
// clang-format on

// Operand shapes that many rows share.
constexpr uint16_t EbGb = R_Gb | M1 | F_RmFirst;                   // r/m8, r8
constexpr uint16_t EvGv = R_Gd | M4 | F_O16R | F_O16M | F_RmFirst; // r/m32, r32
constexpr uint16_t GbEb = R_Gb | M1;                               // r8, r/m8
constexpr uint16_t GvEv = R_Gd | M4 | F_O16R | F_O16M;             // r32, r/m32
constexpr uint16_t ALIb = O_AL | I_8;                              // al, imm8
constexpr uint16_t eAXIz = O_EAX | F_O16R | I_Op;                  // eax, imm32
constexpr uint16_t Eb = M1 | F_Size;                               // byte ptr r/m8
constexpr uint16_t Ev = M4 | F_O16M | F_Size;                      // dword ptr r/m32
constexpr uint16_t PQ = R_Pq | M8 | F_O16R | F_O16M;               // mm, mm/m64 (xmm, xmm/m128 with 0x66)
constexpr uint16_t VW = R_Vx | M16;                                // xmm, xmm/m128
constexpr uint16_t ST = M10;                                       // st(i)
constexpr uint16_t STSTi = R_ST | M10;                             // st, st(i)
constexpr uint16_t STiST = R_ST | M10 | F_RmFirst;                 // st(i), st

} // namespace

const TOpcodeRow OneByteOps[256] = {
    {EbGb | W_Rm, m_add},                         // 00 add r/m8, r8
    {EvGv | W_Rm, m_add},                         // 01 add r/m32, r32
    {GbEb | W_Reg, m_add},                        // 02 add r8, r/m8
    {GvEv | W_Reg, m_add},                        // 03 add r32, r/m32
    {ALIb | W_EAX, m_add},                        // 04 add al, imm8
    {eAXIz | W_EAX, m_add},                       // 05 add eax, imm32
    {0, m_pushseg},                               // 06 push es
    {0, m_popseg},                                // 07 pop es
    {EbGb | W_Rm, m_or},                          // 08 or r/m8, r8
    {EvGv | W_Rm, m_or},                          // 09 or r/m32, r32
    {GbEb | W_Reg, m_or},                         // 0A or r8, r/m8
    {GvEv | W_Reg, m_or},                         // 0B or r32, r/m32
    {ALIb | W_EAX, m_or},                         // 0C or al, imm8
    {eAXIz | W_EAX, m_or},                        // 0D or eax, imm32
    {0, m_pushseg},                               // 0E push cs
    {0, 0},                                       // 0F two-byte escape (never looked up here)
    {EbGb | W_Rm, m_adc},                         // 10 adc r/m8, r8
    {EvGv | W_Rm, m_adc},                         // 11 adc r/m32, r32
    {GbEb | W_Reg, m_adc},                        // 12 adc r8, r/m8
    {GvEv | W_Reg, m_adc},                        // 13 adc r32, r/m32
    {ALIb | W_EAX, m_adc},                        // 14 adc al, imm8
    {eAXIz | W_EAX, m_adc},                       // 15 adc eax, imm32
    {0, m_pushseg},                               // 16 push ss
    {0, m_popseg},                                // 17 pop ss
    {EbGb | W_Rm, m_sbb},                         // 18 sbb r/m8, r8
    {EvGv | W_Rm, m_sbb},                         // 19 sbb r/m32, r32
    {GbEb | W_Reg, m_sbb},                        // 1A sbb r8, r/m8
    {GvEv | W_Reg, m_sbb},                        // 1B sbb r32, r/m32
    {ALIb | W_EAX, m_sbb},                        // 1C sbb al, imm8
    {eAXIz | W_EAX, m_sbb},                       // 1D sbb eax, imm32
    {0, m_pushseg},                               // 1E push ds
    {0, m_popseg},                                // 1F pop ds
    {EbGb | W_Rm, m_and},                         // 20 and r/m8, r8
    {EvGv | W_Rm, m_and},                         // 21 and r/m32, r32
    {GbEb | W_Reg, m_and},                        // 22 and r8, r/m8
    {GvEv | W_Reg, m_and},                        // 23 and r32, r/m32
    {ALIb | W_EAX, m_and},                        // 24 and al, imm8
    {eAXIz | W_EAX, m_and},                       // 25 and eax, imm32
    {0, 0},                                       // 26 es: prefix
    {W_EAX, m_daa},                               // 27 daa
    {EbGb | W_Rm, m_sub},                         // 28 sub r/m8, r8
    {EvGv | W_Rm, m_sub},                         // 29 sub r/m32, r32
    {GbEb | W_Reg, m_sub},                        // 2A sub r8, r/m8
    {GvEv | W_Reg, m_sub},                        // 2B sub r32, r/m32
    {ALIb | W_EAX, m_sub},                        // 2C sub al, imm8
    {eAXIz | W_EAX, m_sub},                       // 2D sub eax, imm32
    {0, 0},                                       // 2E cs: prefix
    {W_EAX, m_das},                               // 2F das
    {EbGb | W_Rm, m_xor},                         // 30 xor r/m8, r8
    {EvGv | W_Rm, m_xor},                         // 31 xor r/m32, r32
    {GbEb | W_Reg, m_xor},                        // 32 xor r8, r/m8
    {GvEv | W_Reg, m_xor},                        // 33 xor r32, r/m32
    {ALIb | W_EAX, m_xor},                        // 34 xor al, imm8
    {eAXIz | W_EAX, m_xor},                       // 35 xor eax, imm32
    {0, 0},                                       // 36 ss: prefix
    {W_EAX, m_aaa},                               // 37 aaa
    {EbGb, m_cmp},                                // 38 cmp r/m8, r8
    {EvGv, m_cmp},                                // 39 cmp r/m32, r32
    {GbEb, m_cmp},                                // 3A cmp r8, r/m8
    {GvEv, m_cmp},                                // 3B cmp r32, r/m32
    {ALIb, m_cmp},                                // 3C cmp al, imm8
    {eAXIz, m_cmp},                               // 3D cmp eax, imm32
    {0, 0},                                       // 3E ds: prefix
    {W_EAX, m_aas},                               // 3F aas
    {O_Zd | F_O16R | W_Op, m_inc},                // 40 inc eax
    {O_Zd | F_O16R | W_Op, m_inc},                // 41 inc ecx
    {O_Zd | F_O16R | W_Op, m_inc},                // 42 inc edx
    {O_Zd | F_O16R | W_Op, m_inc},                // 43 inc ebx
    {O_Zd | F_O16R | W_Op, m_inc},                // 44 inc esp
    {O_Zd | F_O16R | W_Op, m_inc},                // 45 inc ebp
    {O_Zd | F_O16R | W_Op, m_inc},                // 46 inc esi
    {O_Zd | F_O16R | W_Op, m_inc},                // 47 inc edi
    {O_Zd | F_O16R | W_Op, m_dec},                // 48 dec eax
    {O_Zd | F_O16R | W_Op, m_dec},                // 49 dec ecx
    {O_Zd | F_O16R | W_Op, m_dec},                // 4A dec edx
    {O_Zd | F_O16R | W_Op, m_dec},                // 4B dec ebx
    {O_Zd | F_O16R | W_Op, m_dec},                // 4C dec esp
    {O_Zd | F_O16R | W_Op, m_dec},                // 4D dec ebp
    {O_Zd | F_O16R | W_Op, m_dec},                // 4E dec esi
    {O_Zd | F_O16R | W_Op, m_dec},                // 4F dec edi
    {O_Zd | F_O16R, m_push},                      // 50 push eax
    {O_Zd | F_O16R, m_push},                      // 51 push ecx
    {O_Zd | F_O16R, m_push},                      // 52 push edx
    {O_Zd | F_O16R, m_push},                      // 53 push ebx
    {O_Zd | F_O16R, m_push},                      // 54 push esp
    {O_Zd | F_O16R, m_push},                      // 55 push ebp
    {O_Zd | F_O16R, m_push},                      // 56 push esi
    {O_Zd | F_O16R, m_push},                      // 57 push edi
    {O_Zd | F_O16R | W_Op, m_pop},                // 58 pop eax
    {O_Zd | F_O16R | W_Op, m_pop},                // 59 pop ecx
    {O_Zd | F_O16R | W_Op, m_pop},                // 5A pop edx
    {O_Zd | F_O16R | W_Op, m_pop},                // 5B pop ebx
    {O_Zd | F_O16R | W_Op, m_pop},                // 5C pop esp
    {O_Zd | F_O16R | W_Op, m_pop},                // 5D pop ebp
    {O_Zd | F_O16R | W_Op, m_pop},                // 5E pop esi
    {O_Zd | F_O16R | W_Op, m_pop},                // 5F pop edi
    {0, m_pushad},                                // 60 pushad
    {0, m_popad},                                 // 61 popad
    {R_Gd | M8 | F_O16R, m_bound},                // 62 bound r32, m32&32
    {R_Gw | M2 | F_RmFirst | W_Rm, m_arpl},       // 63 arpl r/m16, r16
    {0, 0},                                       // 64 fs: prefix
    {0, 0},                                       // 65 gs: prefix
    {0, 0},                                       // 66 operand-size prefix
    {0, 0},                                       // 67 address-size prefix
    {I_Op, m_push},                               // 68 push imm32
    {GvEv | I_Op | W_Reg, m_imul},                // 69 imul r32, r/m32, imm32
    {I_8, m_push},                                // 6A push imm8
    {GvEv | I_8 | W_Reg, m_imul},                 // 6B imul r32, r/m32, imm8
    {0, m_insb},                                  // 6C insb
    {0, m_insd},                                  // 6D insd
    {0, m_outsb},                                 // 6E outsb
    {0, m_outsd},                                 // 6F outsd
    {I_8 | F_Rel, m_jcc},                         // 70 jo rel8
    {I_8 | F_Rel, m_jcc},                         // 71 jno rel8
    {I_8 | F_Rel, m_jcc},                         // 72 jb rel8
    {I_8 | F_Rel, m_jcc},                         // 73 jnb rel8
    {I_8 | F_Rel, m_jcc},                         // 74 jz rel8
    {I_8 | F_Rel, m_jcc},                         // 75 jnz rel8
    {I_8 | F_Rel, m_jcc},                         // 76 jbe rel8
    {I_8 | F_Rel, m_jcc},                         // 77 ja rel8
    {I_8 | F_Rel, m_jcc},                         // 78 js rel8
    {I_8 | F_Rel, m_jcc},                         // 79 jns rel8
    {I_8 | F_Rel, m_jcc},                         // 7A jp rel8
    {I_8 | F_Rel, m_jcc},                         // 7B jnp rel8
    {I_8 | F_Rel, m_jcc},                         // 7C jl rel8
    {I_8 | F_Rel, m_jcc},                         // 7D jge rel8
    {I_8 | F_Rel, m_jcc},                         // 7E jle rel8
    {I_8 | F_Rel, m_jcc},                         // 7F jg rel8
    {Eb | I_8, m_grp1},                           // 80 add/or/adc/sbb/and/sub/xor/cmp r/m8, imm8
    {Ev | I_Op, m_grp1},                          // 81 add/.../cmp r/m32, imm32
    {Eb | I_8, m_grp1},                           // 82 add/.../cmp r/m8, imm8 (alias of 80)
    {Ev | I_8, m_grp1},                           // 83 add/.../cmp r/m32, imm8
    {EbGb, m_test},                               // 84 test r/m8, r8
    {EvGv, m_test},                               // 85 test r/m32, r32
    {EbGb | W_RegRm, m_xchg},                     // 86 xchg r/m8, r8
    {EvGv | W_RegRm, m_xchg},                     // 87 xchg r/m32, r32
    {EbGb | W_Rm, m_mov},                         // 88 mov r/m8, r8
    {EvGv | W_Rm, m_mov},                         // 89 mov r/m32, r32
    {GbEb | W_Reg, m_mov},                        // 8A mov r8, r/m8
    {GvEv | W_Reg, m_mov},                        // 8B mov r32, r/m32
    {R_Sw | M2 | F_RmFirst | W_Rm, m_mov},        // 8C mov r/m16, sreg
    {R_Gd | M4 | F_O16R | W_Reg, m_lea},          // 8D lea r32, m
    {R_Sw | M2, m_mov},                           // 8E mov sreg, r/m16
    {Ev | W_Rm, m_pop},                           // 8F pop r/m32
    {0, m_nop},                                   // 90 nop
    {O_EAXZd | F_O16R | W_EAXOp, m_xchg},         // 91 xchg eax, ecx
    {O_EAXZd | F_O16R | W_EAXOp, m_xchg},         // 92 xchg eax, edx
    {O_EAXZd | F_O16R | W_EAXOp, m_xchg},         // 93 xchg eax, ebx
    {O_EAXZd | F_O16R | W_EAXOp, m_xchg},         // 94 xchg eax, esp
    {O_EAXZd | F_O16R | W_EAXOp, m_xchg},         // 95 xchg eax, ebp
    {O_EAXZd | F_O16R | W_EAXOp, m_xchg},         // 96 xchg eax, esi
    {O_EAXZd | F_O16R | W_EAXOp, m_xchg},         // 97 xchg eax, edi
    {W_EAX, m_cwde},                              // 98 cwde
    {0, m_cdq},                                   // 99 cdq
    {0, m_call},                                  // 9A call far ptr16:32
    {0, m_wait},                                  // 9B wait
    {0, m_pushfd},                                // 9C pushfd
    {0, m_popfd},                                 // 9D popfd
    {0, m_sahf},                                  // 9E sahf
    {W_EAX, m_lahf},                              // 9F lahf
    {O_AL | F_Size | W_EAX, m_mov},               // A0 mov al, [moffs]
    {O_EAX | F_O16R | F_Size | W_EAX, m_mov},     // A1 mov eax, [moffs]
    {O_AL | F_Size | F_RmFirst, m_mov},           // A2 mov [moffs], al
    {O_EAX | F_O16R | F_Size | F_RmFirst, m_mov}, // A3 mov [moffs], eax
    {0, m_movsb},                                 // A4 movsb
    {0, m_movsd},                                 // A5 movsd
    {0, m_cmpsb},                                 // A6 cmpsb
    {0, m_cmpsd},                                 // A7 cmpsd
    {ALIb, m_test},                               // A8 test al, imm8
    {eAXIz, m_test},                              // A9 test eax, imm32
    {0, m_stosb},                                 // AA stosb
    {0, m_stosd},                                 // AB stosd
    {W_EAX, m_lodsb},                             // AC lodsb
    {W_EAX, m_lodsd},                             // AD lodsd
    {0, m_scasb},                                 // AE scasb
    {0, m_scasd},                                 // AF scasd
    {O_Zb | I_8 | W_Op, m_mov},                   // B0 mov al, imm8
    {O_Zb | I_8 | W_Op, m_mov},                   // B1 mov cl, imm8
    {O_Zb | I_8 | W_Op, m_mov},                   // B2 mov dl, imm8
    {O_Zb | I_8 | W_Op, m_mov},                   // B3 mov bl, imm8
    {O_Zb | I_8 | W_Op, m_mov},                   // B4 mov ah, imm8
    {O_Zb | I_8 | W_Op, m_mov},                   // B5 mov ch, imm8
    {O_Zb | I_8 | W_Op, m_mov},                   // B6 mov dh, imm8
    {O_Zb | I_8 | W_Op, m_mov},                   // B7 mov bh, imm8
    {O_Zd | F_O16R | I_Op | W_Op, m_mov},         // B8 mov eax, imm32
    {O_Zd | F_O16R | I_Op | W_Op, m_mov},         // B9 mov ecx, imm32
    {O_Zd | F_O16R | I_Op | W_Op, m_mov},         // BA mov edx, imm32
    {O_Zd | F_O16R | I_Op | W_Op, m_mov},         // BB mov ebx, imm32
    {O_Zd | F_O16R | I_Op | W_Op, m_mov},         // BC mov esp, imm32
    {O_Zd | F_O16R | I_Op | W_Op, m_mov},         // BD mov ebp, imm32
    {O_Zd | F_O16R | I_Op | W_Op, m_mov},         // BE mov esi, imm32
    {O_Zd | F_O16R | I_Op | W_Op, m_mov},         // BF mov edi, imm32
    {Eb | I_8 | W_Rm, m_grp2},                    // C0 rol/ror/rcl/rcr/shl/shr/sal/sar r/m8, imm8
    {Ev | I_8 | W_Rm, m_grp2},                    // C1 rol/.../sar r/m32, imm8
    {I_16, m_ret},                                // C2 ret imm16
    {0, m_ret},                                   // C3 ret
    {R_Gd | M4 | F_O16R | W_Reg, m_les},          // C4 les r32, m16:32
    {R_Gd | M4 | F_O16R | W_Reg, m_lds},          // C5 lds r32, m16:32
    {Eb | I_8 | W_Rm, m_mov},                     // C6 mov r/m8, imm8
    {Ev | I_Op | W_Rm, m_mov},                    // C7 mov r/m32, imm32
    {0, m_enter},                                 // C8 enter imm16, imm8
    {0, m_leave},                                 // C9 leave
    {I_16, m_ret},                                // CA ret far imm16
    {0, m_ret},                                   // CB ret far
    {0, m_int3},                                  // CC int 3
    {I_8, m_int},                                 // CD int imm8
    {0, m_into},                                  // CE into
    {0, m_iret},                                  // CF iret
    {Eb | W_Rm, m_grp2},                          // D0 rol/.../sar r/m8, 1
    {Ev | W_Rm, m_grp2},                          // D1 rol/.../sar r/m32, 1
    {Eb | W_Rm, m_grp2},                          // D2 rol/.../sar r/m8, cl
    {Ev | W_Rm, m_grp2},                          // D3 rol/.../sar r/m32, cl
    {I_8 | W_EAX, m_aam},                         // D4 aam imm8
    {I_8 | W_EAX, m_aad},                         // D5 aad imm8
    {W_EAX, m_salc},                              // D6 salc
    {W_EAX, m_xlat},                              // D7 xlat
    {M_Group, m_fpuD8DC},                         // D8 x87: float32 and st, st(i)
    {M_Group, m_fpuD9},                           // D9 x87: loads, stores, constants, control
    {M_Group, m_fpuDA},                           // DA x87: int32, fcmov
    {M_Group, m_fpuDB},                           // DB x87: int32, float80, fcmovn, control
    {M_Group, m_fpuD8DC},                         // DC x87: float64 and st(i), st
    {M_Group, m_fpuDD},                           // DD x87: float64, ffree, fucom
    {M_Group, m_fpuDE},                           // DE x87: int16 and the popping forms
    {M_Group, m_fpuDF},                           // DF x87: int16, int64, bcd, fnstsw ax
    {I_8 | F_Rel, m_loopne},                      // E0 loopne rel8
    {I_8 | F_Rel, m_loope},                       // E1 loope rel8
    {I_8 | F_Rel, m_loop},                        // E2 loop rel8
    {I_8 | F_Rel, m_jecxz},                       // E3 jecxz rel8
    {O_AL | I_8 | W_EAX, m_in},                   // E4 in al, imm8
    {O_EAX | F_O16R | I_8 | W_EAX, m_in},         // E5 in eax, imm8
    {O_AL | I_8 | F_RmFirst, m_out},              // E6 out imm8, al
    {O_EAX | F_O16R | I_8 | F_RmFirst, m_out},    // E7 out imm8, eax
    {I_Op | F_Rel, m_call},                       // E8 call rel32
    {I_Op | F_Rel, m_jmp},                        // E9 jmp rel32
    {0, m_jmp},                                   // EA jmp far ptr16:32
    {I_8 | F_Rel, m_jmp},                         // EB jmp rel8
    {O_ALEAXDX | W_EAX, m_in},                    // EC in al, dx
    {O_ALEAXDX | F_O16R | W_EAX, m_in},           // ED in eax, dx
    {O_ALEAXDX | F_RmFirst, m_out},               // EE out dx, al
    {O_ALEAXDX | F_O16R | F_RmFirst, m_out},      // EF out dx, eax
    {0, 0},                                       // F0 lock prefix
    {0, m_int01},                                 // F1 int01
    {0, 0},                                       // F2 repne prefix
    {0, 0},                                       // F3 rep prefix
    {0, m_hlt},                                   // F4 hlt
    {0, m_cmc},                                   // F5 cmc
    {M_Group, m_grp3},                            // F6 test/not/neg/mul/imul/div/idiv r/m8
    {M_Group, m_grp3},                            // F7 test/not/neg/mul/imul/div/idiv r/m32
    {0, m_clc},                                   // F8 clc
    {0, m_stc},                                   // F9 stc
    {0, m_cli},                                   // FA cli
    {0, m_sti},                                   // FB sti
    {0, m_cld},                                   // FC cld
    {0, m_std},                                   // FD std
    {Eb | W_Rm, m_grp45},                         // FE inc/dec r/m8
    {Ev, m_grp45},                                // FF inc/dec/call/call far/jmp/jmp far/push r/m32
};

const TOpcodeRow TwoByteOps[256] = {
    {M2 | F_Size, m_grp0F00},                             // 0F 00 sldt/str/lldt/ltr/verr/verw r/m16
    {M2, m_grp0F01},                                      // 0F 01 sgdt/sidt/lgdt/lidt/smsw/lmsw/invlpg
    {R_Gd | M2 | F_O16R | W_Reg, m_lar},                  // 0F 02 lar r32, r/m16
    {R_Gd | M2 | F_O16R | W_Reg, m_lsl},                  // 0F 03 lsl r32, r/m16
    {Undef, 0},                                           // 0F 04
    {0, m_syscall},                                       // 0F 05 syscall
    {0, m_clts},                                          // 0F 06 clts
    {0, m_sysret},                                        // 0F 07 sysret
    {0, m_invd},                                          // 0F 08 invd
    {0, m_wbinvd},                                        // 0F 09 wbinvd
    {Undef, 0},                                           // 0F 0A
    {Undef, 0},                                           // 0F 0B ud2
    {Undef, 0},                                           // 0F 0C
    {M1 | F_Size, m_prefetch},                            // 0F 0D prefetch/prefetchw m8
    {0, m_femms},                                         // 0F 0E femms
    {R_Pq | M8 | I_8, 0},                                 // 0F 0F 3DNow! mm, mm/m64, suffix
    {VW, m_movups},                                       // 0F 10 movups/movupd/movsd/movss xmm, xmm/m
    {VW | F_RmFirst, m_movups},                           // 0F 11 movups/movupd/movsd/movss xmm/m, xmm
    {R_Vx | M8, m_movhlps},                               // 0F 12 movhlps/movlps/movlpd/movddup/movsldup
    {R_Vx | M8 | F_RmFirst, m_movlps},                    // 0F 13 movlps/movlpd m64, xmm
    {VW, m_unpcklps},                                     // 0F 14 unpcklps/unpcklpd xmm, xmm/m128
    {VW, m_unpckhps},                                     // 0F 15 unpckhps/unpckhpd xmm, xmm/m128
    {R_Vx | M8, m_movlhps},                               // 0F 16 movlhps/movhps/movhpd/movshdup
    {R_Vx | M8 | F_RmFirst, m_movhps},                    // 0F 17 movhps/movhpd m64, xmm
    {M1 | F_Size, m_prefetchnta},                         // 0F 18 prefetchnta/prefetcht0/t1/t2 m8
    {Undef, 0},                                           // 0F 19
    {Undef, 0},                                           // 0F 1A
    {Undef, 0},                                           // 0F 1B
    {Undef, 0},                                           // 0F 1C
    {Undef, 0},                                           // 0F 1D
    {Undef, 0},                                           // 0F 1E
    {Ev, m_nop},                                          // 0F 1F nop r/m32
    {R_Sw | M4 | F_RmFirst | W_Rm, m_mov},                // 0F 20 mov r32, cr
    {R_Sw | M4 | F_RmFirst | W_Rm, m_mov},                // 0F 21 mov r32, dr
    {R_Sw | M4, m_mov},                                   // 0F 22 mov cr, r32
    {R_Sw | M4, m_mov},                                   // 0F 23 mov dr, r32
    {Undef, 0},                                           // 0F 24
    {Undef, 0},                                           // 0F 25
    {Undef, 0},                                           // 0F 26
    {Undef, 0},                                           // 0F 27
    {VW, m_movaps},                                       // 0F 28 movaps/movapd xmm, xmm/m128
    {VW | F_RmFirst, m_movaps},                           // 0F 29 movaps/movapd xmm/m128, xmm
    {R_Vx | M8, m_cvtpi2ps},                              // 0F 2A cvtpi2ps/cvtpi2pd/cvtsi2sd/cvtsi2ss
    {VW | F_RmFirst, m_movntps},                          // 0F 2B movntps/movntpd m128, xmm
    {R_Pq | M8, m_cvttps2pi},                             // 0F 2C cvttps2pi/cvttpd2pi/cvttsd2si/cvttss2si
    {R_Pq | M8, m_cvtps2pi},                              // 0F 2D cvtps2pi/cvtpd2pi/cvtsd2si/cvtss2si
    {R_Vx | M4, m_ucomiss},                               // 0F 2E ucomiss/ucomisd xmm, xmm/m
    {R_Vx | M4, m_comiss},                                // 0F 2F comiss/comisd xmm, xmm/m
    {0, m_wrmsr},                                         // 0F 30 wrmsr
    {W_EAX, m_rdtsc},                                     // 0F 31 rdtsc
    {W_EAX, m_rdmsr},                                     // 0F 32 rdmsr
    {W_EAX, m_rdpmc},                                     // 0F 33 rdpmc
    {0, m_sysenter},                                      // 0F 34 sysenter
    {0, m_sysexit},                                       // 0F 35 sysexit
    {Undef, 0},                                           // 0F 36
    {Undef, 0},                                           // 0F 37
    {Undef, 0},                                           // 0F 38 (three-byte map)
    {Undef, 0},                                           // 0F 39
    {Undef, 0},                                           // 0F 3A (three-byte map)
    {Undef, 0},                                           // 0F 3B
    {Undef, 0},                                           // 0F 3C
    {Undef, 0},                                           // 0F 3D
    {Undef, 0},                                           // 0F 3E
    {Undef, 0},                                           // 0F 3F
    {GvEv | W_Reg, m_cmovcc},                             // 0F 40 cmovo r32, r/m32
    {GvEv | W_Reg, m_cmovcc},                             // 0F 41 cmovno
    {GvEv | W_Reg, m_cmovcc},                             // 0F 42 cmovb
    {GvEv | W_Reg, m_cmovcc},                             // 0F 43 cmovnb
    {GvEv | W_Reg, m_cmovcc},                             // 0F 44 cmovz
    {GvEv | W_Reg, m_cmovcc},                             // 0F 45 cmovnz
    {GvEv | W_Reg, m_cmovcc},                             // 0F 46 cmovbe
    {GvEv | W_Reg, m_cmovcc},                             // 0F 47 cmova
    {GvEv | W_Reg, m_cmovcc},                             // 0F 48 cmovs
    {GvEv | W_Reg, m_cmovcc},                             // 0F 49 cmovns
    {GvEv | W_Reg, m_cmovcc},                             // 0F 4A cmovp
    {GvEv | W_Reg, m_cmovcc},                             // 0F 4B cmovnp
    {GvEv | W_Reg, m_cmovcc},                             // 0F 4C cmovl
    {GvEv | W_Reg, m_cmovcc},                             // 0F 4D cmovge
    {GvEv | W_Reg, m_cmovcc},                             // 0F 4E cmovle
    {GvEv | W_Reg, m_cmovcc},                             // 0F 4F cmovg
    {R_Gd | M16 | W_Reg, m_movmskps},                     // 0F 50 movmskps/movmskpd r32, xmm
    {VW, m_sqrtps},                                       // 0F 51 sqrtps/sqrtpd/sqrtsd/sqrtss
    {VW, m_rsqrtps},                                      // 0F 52 rsqrtps/rsqrtss
    {VW, m_rcpps},                                        // 0F 53 rcpps/rcpss
    {VW, m_andps},                                        // 0F 54 andps/andpd
    {VW, m_andnps},                                       // 0F 55 andnps/andnpd
    {VW, m_orps},                                         // 0F 56 orps/orpd
    {VW, m_xorps},                                        // 0F 57 xorps/xorpd
    {VW, m_addps},                                        // 0F 58 addps/addpd/addsd/addss
    {VW, m_mulps},                                        // 0F 59 mulps/mulpd/mulsd/mulss
    {VW, m_cvtps2pd},                                     // 0F 5A cvtps2pd/cvtpd2ps/cvtsd2ss/cvtss2sd
    {VW, m_cvtdq2ps},                                     // 0F 5B cvtdq2ps/cvtps2dq/cvttps2dq
    {VW, m_subps},                                        // 0F 5C subps/subpd/subsd/subss
    {VW, m_minps},                                        // 0F 5D minps/minpd/minsd/minss
    {VW, m_divps},                                        // 0F 5E divps/divpd/divsd/divss
    {VW, m_maxps},                                        // 0F 5F maxps/maxpd/maxsd/maxss
    {PQ, m_punpcklbw},                                    // 0F 60 punpcklbw mm, mm/m64
    {PQ, m_punpcklwd},                                    // 0F 61 punpcklwd
    {PQ, m_punpckldq},                                    // 0F 62 punpckldq
    {PQ, m_packsswb},                                     // 0F 63 packsswb
    {PQ, m_pcmpgtb},                                      // 0F 64 pcmpgtb
    {PQ, m_pcmpgtw},                                      // 0F 65 pcmpgtw
    {PQ, m_pcmpgtd},                                      // 0F 66 pcmpgtd
    {PQ, m_packuswb},                                     // 0F 67 packuswb
    {PQ, m_punpckhbw},                                    // 0F 68 punpckhbw
    {PQ, m_punpckhwd},                                    // 0F 69 punpckhwd
    {PQ, m_punpckhdq},                                    // 0F 6A punpckhdq
    {PQ, m_packssdw},                                     // 0F 6B packssdw
    {PQ, m_punpcklqdq},                                   // 0F 6C punpcklqdq xmm, xmm/m128 (0x66 only)
    {PQ, m_punpckhqdq},                                   // 0F 6D punpckhqdq xmm, xmm/m128 (0x66 only)
    {R_Pq | M4 | F_O16R, m_movd},                         // 0F 6E movd mm, r/m32
    {PQ, m_movq_movdqa},                                  // 0F 6F movq/movdqa/movdqu
    {PQ | I_8, m_pshufw},                                 // 0F 70 pshufw/pshufd/pshuflw/pshufhw
    {M8 | F_O16M | I_8, m_grp0F71},                       // 0F 71 psrlw/psraw/psllw mm, imm8
    {M8 | F_O16M | I_8, m_grp0F72},                       // 0F 72 psrld/psrad/pslld mm, imm8
    {M8 | F_O16M | I_8, m_grp0F73},                       // 0F 73 psrlq/psrldq/psllq/pslldq mm, imm8
    {PQ, m_pcmpeqb},                                      // 0F 74 pcmpeqb
    {PQ, m_pcmpeqw},                                      // 0F 75 pcmpeqw
    {PQ, m_pcmpeqd},                                      // 0F 76 pcmpeqd
    {0, m_emms},                                          // 0F 77 emms
    {Undef, 0},                                           // 0F 78
    {Undef, 0},                                           // 0F 79
    {Undef, 0},                                           // 0F 7A
    {Undef, 0},                                           // 0F 7B
    {VW, m_haddpd},                                       // 0F 7C haddpd/haddps
    {VW, m_hsubpd},                                       // 0F 7D hsubpd/hsubps
    {R_Pq | M4 | F_O16R | F_RmFirst | W_Rm, m_movd_movq}, // 0F 7E movd r/m32, mm / movq xmm, xmm/m64
    {PQ | F_RmFirst, m_movq_movdqa},                      // 0F 7F movq/movdqa/movdqu mm/m, mm
    {I_Op | F_Rel, m_jcc},                                // 0F 80 jo rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 81 jno rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 82 jb rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 83 jnb rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 84 jz rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 85 jnz rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 86 jbe rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 87 ja rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 88 js rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 89 jns rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 8A jp rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 8B jnp rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 8C jl rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 8D jge rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 8E jle rel32
    {I_Op | F_Rel, m_jcc},                                // 0F 8F jg rel32
    {Eb | W_Rm, m_setcc},                                 // 0F 90 seto r/m8
    {Eb | W_Rm, m_setcc},                                 // 0F 91 setno
    {Eb | W_Rm, m_setcc},                                 // 0F 92 setb
    {Eb | W_Rm, m_setcc},                                 // 0F 93 setnb
    {Eb | W_Rm, m_setcc},                                 // 0F 94 setz
    {Eb | W_Rm, m_setcc},                                 // 0F 95 setnz
    {Eb | W_Rm, m_setcc},                                 // 0F 96 setbe
    {Eb | W_Rm, m_setcc},                                 // 0F 97 seta
    {Eb | W_Rm, m_setcc},                                 // 0F 98 sets
    {Eb | W_Rm, m_setcc},                                 // 0F 99 setns
    {Eb | W_Rm, m_setcc},                                 // 0F 9A setp
    {Eb | W_Rm, m_setcc},                                 // 0F 9B setnp
    {Eb | W_Rm, m_setcc},                                 // 0F 9C setl
    {Eb | W_Rm, m_setcc},                                 // 0F 9D setge
    {Eb | W_Rm, m_setcc},                                 // 0F 9E setle
    {Eb | W_Rm, m_setcc},                                 // 0F 9F setg
    {0, m_pushseg},                                       // 0F A0 push fs
    {0, m_popseg},                                        // 0F A1 pop fs
    {W_EAX, m_cpuid},                                     // 0F A2 cpuid
    {EvGv, m_bt},                                         // 0F A3 bt r/m32, r32
    {EvGv | I_8 | W_Rm, m_shld},                          // 0F A4 shld r/m32, r32, imm8
    {EvGv | W_Rm, m_shld},                                // 0F A5 shld r/m32, r32, cl
    {Undef, 0},                                           // 0F A6 (reserved)
    {Undef, 0},                                           // 0F A7 (reserved)
    {0, m_pushseg},                                       // 0F A8 push gs
    {0, m_popseg},                                        // 0F A9 pop gs
    {0, m_rsm},                                           // 0F AA rsm
    {EvGv | W_Rm, m_bts},                                 // 0F AB bts r/m32, r32
    {EvGv | I_8 | W_Rm, m_shrd},                          // 0F AC shrd r/m32, r32, imm8
    {EvGv | W_Rm, m_shrd},                                // 0F AD shrd r/m32, r32, cl
    {M4, m_grp0FAE},                                // 0F AE fxsave/fxrstor/ldmxcsr/stmxcsr/lfence/mfence/sfence/clflush
    {GvEv | W_Reg, m_imul},                         // 0F AF imul r32, r/m32
    {EbGb | W_EAXRm, m_cmpxchg},                    // 0F B0 cmpxchg r/m8, r8
    {EvGv | W_EAXRm, m_cmpxchg},                    // 0F B1 cmpxchg r/m32, r32
    {R_Gd | M4 | F_O16R | W_Reg, m_lss},            // 0F B2 lss r32, m16:32
    {EvGv | W_Rm, m_btr},                           // 0F B3 btr r/m32, r32
    {R_Gd | M4 | F_O16R | W_Reg, m_lfs},            // 0F B4 lfs r32, m16:32
    {R_Gd | M4 | F_O16R | W_Reg, m_lgs},            // 0F B5 lgs r32, m16:32
    {R_Gd | M1 | F_O16R | F_Size | W_Reg, m_movzx}, // 0F B6 movzx r32, r/m8
    {R_Gd | M2 | F_O16R | F_Size | W_Reg, m_movzx}, // 0F B7 movzx r32, r/m16
    {Undef, 0},                                     // 0F B8
    {Undef, 0},                                     // 0F B9
    {Ev | I_8, m_grp0FBA},                          // 0F BA bt/bts/btr/btc r/m32, imm8
    {EvGv | W_Rm, m_btc},                           // 0F BB btc r/m32, r32
    {GvEv | W_Reg, m_bsf},                          // 0F BC bsf r32, r/m32
    {GvEv | W_Reg, m_bsr},                          // 0F BD bsr r32, r/m32
    {R_Gd | M1 | F_O16R | F_Size | W_Reg, m_movsx}, // 0F BE movsx r32, r/m8
    {R_Gd | M2 | F_O16R | F_Size | W_Reg, m_movsx}, // 0F BF movsx r32, r/m16
    {EbGb | W_RegRm, m_xadd},                       // 0F C0 xadd r/m8, r8
    {EvGv | W_RegRm, m_xadd},                       // 0F C1 xadd r/m32, r32
    {VW | I_8, m_cmpps},                            // 0F C2 cmpps/cmppd/cmpsd/cmpss xmm, xmm/m, imm8
    {R_Gd | M4 | F_RmFirst, m_movnti},              // 0F C3 movnti m32, r32
    {R_Pq | M2 | F_O16R | I_8, m_pinsrw},           // 0F C4 pinsrw mm, r32/m16, imm8
    {R_Gd | M8 | F_O16M | I_8 | W_Reg, m_pextrw},   // 0F C5 pextrw r32, mm, imm8
    {VW | I_8, m_shufps},                           // 0F C6 shufps/shufpd xmm, xmm/m128, imm8
    {M8 | F_Size, m_cmpxchg8b},                     // 0F C7 cmpxchg8b m64
    {O_Zd | W_Op, m_bswap},                         // 0F C8 bswap eax
    {O_Zd | W_Op, m_bswap},                         // 0F C9 bswap ecx
    {O_Zd | W_Op, m_bswap},                         // 0F CA bswap edx
    {O_Zd | W_Op, m_bswap},                         // 0F CB bswap ebx
    {O_Zd | W_Op, m_bswap},                         // 0F CC bswap esp
    {O_Zd | W_Op, m_bswap},                         // 0F CD bswap ebp
    {O_Zd | W_Op, m_bswap},                         // 0F CE bswap esi
    {O_Zd | W_Op, m_bswap},                         // 0F CF bswap edi
    {VW, m_addsubpd},                               // 0F D0 addsubpd/addsubps
    {PQ, m_psrlw},                                  // 0F D1 psrlw
    {PQ, m_psrld},                                  // 0F D2 psrld
    {PQ, m_psrlq},                                  // 0F D3 psrlq
    {PQ, m_paddq},                                  // 0F D4 paddq
    {PQ, m_pmullw},                                 // 0F D5 pmullw
    {R_Vx | M8 | F_RmFirst, m_movq_movdq2q},        // 0F D6 movq xmm/m64, xmm / movdq2q / movq2dq
    {R_Gd | M8 | F_O16M | W_Reg, m_pmovmskb},       // 0F D7 pmovmskb r32, mm
    {PQ, m_psubusb},                                // 0F D8 psubusb
    {PQ, m_psubusw},                                // 0F D9 psubusw
    {PQ, m_pminub},                                 // 0F DA pminub
    {PQ, m_pand},                                   // 0F DB pand
    {PQ, m_paddusb},                                // 0F DC paddusb
    {PQ, m_paddusw},                                // 0F DD paddusw
    {PQ, m_pmaxub},                                 // 0F DE pmaxub
    {PQ, m_pandn},                                  // 0F DF pandn
    {PQ, m_pavgb},                                  // 0F E0 pavgb
    {PQ, m_psraw},                                  // 0F E1 psraw
    {PQ, m_psrad},                                  // 0F E2 psrad
    {PQ, m_pavgw},                                  // 0F E3 pavgw
    {PQ, m_pmulhuw},                                // 0F E4 pmulhuw
    {PQ, m_pmulhw},                                 // 0F E5 pmulhw
    {VW, m_cvttpd2dq},                              // 0F E6 cvttpd2dq/cvtpd2dq/cvtdq2pd
    {PQ | F_RmFirst, m_movntq},                     // 0F E7 movntq/movntdq m, mm
    {PQ, m_psubsb},                                 // 0F E8 psubsb
    {PQ, m_psubsw},                                 // 0F E9 psubsw
    {PQ, m_pminsw},                                 // 0F EA pminsw
    {PQ, m_por},                                    // 0F EB por
    {PQ, m_paddsb},                                 // 0F EC paddsb
    {PQ, m_paddsw},                                 // 0F ED paddsw
    {PQ, m_pmaxsw},                                 // 0F EE pmaxsw
    {PQ, m_pxor},                                   // 0F EF pxor
    {VW, m_lddqu},                                  // 0F F0 lddqu xmm, m128 (0xF2 only)
    {PQ, m_psllw},                                  // 0F F1 psllw
    {PQ, m_pslld},                                  // 0F F2 pslld
    {PQ, m_psllq},                                  // 0F F3 psllq
    {PQ, m_pmuludq},                                // 0F F4 pmuludq
    {PQ, m_pmaddwd},                                // 0F F5 pmaddwd
    {PQ, m_psadbw},                                 // 0F F6 psadbw
    {PQ, m_maskmovq},                               // 0F F7 maskmovq/maskmovdqu
    {PQ, m_psubb},                                  // 0F F8 psubb
    {PQ, m_psubw},                                  // 0F F9 psubw
    {PQ, m_psubd},                                  // 0F FA psubd
    {PQ, m_psubq},                                  // 0F FB psubq
    {PQ, m_paddb},                                  // 0F FC paddb
    {PQ, m_paddw},                                  // 0F FD paddw
    {PQ, m_paddd},                                  // 0F FE paddd
    {Undef, 0},                                     // 0F FF
};

// Memory forms by reg (0-7), then register forms by reg (8-15).
// clang-format off
const uint16_t GroupOps[10][16] = {
    // F6: test imm8, -, not, neg, mul, imul, div, idiv (byte)
    {Eb | I_8,  Undef, Eb | W_Rm, Eb | W_Rm, Eb | W_EAX, Eb | W_EAX, Eb | W_EAX, Eb | W_EAX,
     Eb | I_8,  Undef, Eb | W_Rm, Eb | W_Rm, Eb | W_EAX, Eb | W_EAX, Eb | W_EAX, Eb | W_EAX},
    // F7: the same for dword
    {Ev | I_Op, Undef, Ev | W_Rm, Ev | W_Rm, Ev | W_EAX, Ev | W_EAX, Ev | W_EAX, Ev | W_EAX,
     Ev | I_Op, Undef, Ev | W_Rm, Ev | W_Rm, Ev | W_EAX, Ev | W_EAX, Ev | W_EAX, Ev | W_EAX},
    // D8: fadd, fmul, fcom, fcomp, fsub, fsubr, fdiv, fdivr dword; the same with st, st(i)
    {M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size,
     STSTi,       STSTi,       ST,          ST,          STSTi,       STSTi,       STSTi,       STSTi},
    // D9: fld, -, fst, fstp dword, fldenv, fldcw, fnstenv, fnstcw;
    //     fld st(i), fxch, fnop, fstp1, fchs..fxam, fld1..fldz, f2xm1..fincstp, fprem..fcos
    {M4 | F_Size, Undef,       M4 | F_Size, M4 | F_Size, M4,          M2 | F_Size, M4,          M2 | F_Size,
     ST,          ST,          0,           ST,          0,           0,           0,           0},
    // DA: fiadd, fimul, ficom, ficomp, fisub, fisubr, fidiv, fidivr dword; fcmovb, fcmove, fcmovbe, fcmovu, -, fucompp
    {M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size,
     STSTi,       STSTi,       STSTi,       STSTi,       Undef,       0,           Undef,       Undef},
    // DB: fild, fisttp, fist, fistp dword, -, fld tbyte, -, fstp tbyte;
    //     fcmovnb, fcmovne, fcmovnbe, fcmovnu, fneni..fnsetpm, fucomi, fcomi, -
    {M4 | F_Size, M4 | F_Size, M4 | F_Size, M4 | F_Size, Undef,       M10 | F_Size, Undef,      M10 | F_Size,
     STSTi,       STSTi,       STSTi,       STSTi,       0,           STSTi,       STSTi,       Undef},
    // DC: fadd, fmul, fcom, fcomp, fsub, fsubr, fdiv, fdivr qword; fadd .. fdiv st(i), st
    {M8 | F_Size, M8 | F_Size, M8 | F_Size, M8 | F_Size, M8 | F_Size, M8 | F_Size, M8 | F_Size, M8 | F_Size,
     STiST,       STiST,       ST,          ST,          STiST,       STiST,       STiST,       STiST},
    // DD: fld, fisttp, fst, fstp qword, frstor, -, fnsave, fnstsw; ffree, fxch4, fst, fstp, fucom, fucomp, -, -
    {M8 | F_Size, M8 | F_Size, M8 | F_Size, M8 | F_Size, M4,          Undef,       M4,          M2 | F_Size,
     ST,          ST,          ST,          ST,          ST,          ST,          Undef,       Undef},
    // DE: fiadd .. fidivr word; faddp, fmulp, fcomp5, fcompp, fsubrp, fsubp, fdivrp, fdivp
    {M2 | F_Size, M2 | F_Size, M2 | F_Size, M2 | F_Size, M2 | F_Size, M2 | F_Size, M2 | F_Size, M2 | F_Size,
     STiST,       STiST,       ST,          0,           STiST,       STiST,       STiST,       STiST},
    // DF: fild, fisttp, fist, fistp word, fbld, fild qword, fbstp, fistp qword;
    //     ffreep, fxch7, fstp8, fstp9, fnstsw ax, fucomip, fcomip, -
    {M2 | F_Size, M2 | F_Size, M2 | F_Size, M2 | F_Size, M10 | F_Size, M8 | F_Size, M10 | F_Size, M8 | F_Size,
     ST,          ST,          ST,          ST,          W_EAX,       STSTi,       STSTi,       Undef},
};
// clang-format on

int GroupRowOf(uint16_t opcode)
{
    if (opcode == 0xF6)
        return 0;
    if (opcode == 0xF7)
        return 1;
    if (opcode >= 0xD8 && opcode <= 0xDF)
        return 2 + (opcode - 0xD8);
    return -1;
}

const TMode64Row Mode64Ops[] = {
    {0x06, {Undef, 0}},                             // push es
    {0x07, {Undef, 0}},                             // pop es
    {0x0E, {Undef, 0}},                             // push cs
    {0x16, {Undef, 0}},                             // push ss
    {0x17, {Undef, 0}},                             // pop ss
    {0x1E, {Undef, 0}},                             // push ds
    {0x1F, {Undef, 0}},                             // pop ds
    {0x27, {Undef, 0}},                             // daa
    {0x2F, {Undef, 0}},                             // das
    {0x37, {Undef, 0}},                             // aaa
    {0x3F, {Undef, 0}},                             // aas
    {0x60, {Undef, 0}},                             // pushad
    {0x61, {Undef, 0}},                             // popad
    {0x62, {Undef, 0}},                             // bound (EVEX in newer code)
    {0x63, {R_Gd | M4 | F_O16R | W_Reg, mnMovsxd}}, // movsxd r64, r/m32
    {0x82, {Undef, 0}},                             // alias of 80
    {0x9A, {Undef, 0}},                             // call far
    {0xCE, {Undef, 0}},                             // into
    {0xD4, {Undef, 0}},                             // aam
    {0xD5, {Undef, 0}},                             // aad
    {0xD6, {Undef, 0}},                             // salc
    {0xEA, {Undef, 0}},                             // jmp far
    {0x0F0B, {0, mnUd2}},                           // ud2
    {0x0F1E, {M4, mnEndbr64}},                      // endbr64 (F3 0F 1E FA); other forms are hint nops
};
const int Mode64OpCount = sizeof(Mode64Ops) / sizeof(Mode64Ops[0]);

const char* const MnemonicList[] = {
    "",
    "aaa",
    "aad",
    "aam",
    "aas",
    "adc",
    "add",
    "addPS",
    "and",
    "andnPS",
    "arpl",
    "bound",
    "bsf",
    "bsr",
    "bswap",
    "bt",
    "btc",
    "btr",
    "bts",
    "call",
    "clc",
    "cld",
    "cli",
    "clts",
    "cmc",
    "cmov%cc",
    "cmp",
    "cmpPS",
    "cmpsb",
    "cmpxchg",
    "cmpxchg8b",
    "comisS",
    "cpuid",
    "cvtPi2PS",
    "cvtPS2Pi",
    "cvttPS2Pi",
    "daa",
    "das",
    "dec",
    "divPS",
    "emms",
    "enter",
    "femms",
    "hlt",
    "imul",
    "in",
    "inc",
    "insb",
    "int",
    "int     3",
    "int01",
    "into",
    "invd",
    "iret",
    "j%cc",
    "jecxz",
    "jmp",
    "lahf",
    "lar",
    "lds",
    "lea",
    "leave",
    "les",
    "lfs",
    "lgs",
    "sysret",
    "lodsb",
    "loop",
    "loope",
    "loopne",
    "lsl",
    "lss",
    "maxPS",
    "minPS",
    "mov",
    "movaPS",
    "movd",
    "movhPS",
    "movlPS",
    "movmskPS",
    "movnti",
    "movntPS",
    "movsb",
    "movsx",
    "movzx",
    "mulPS",
    "nop",
    "or",
    "orPS",
    "out",
    "outsb",
    "packssdw",
    "packsswb",
    "packuswb",
    "paddb",
    "paddd",
    "paddq",
    "paddsb",
    "paddsw",
    "paddusb",
    "paddusw",
    "paddw",
    "pand",
    "pandn",
    "pavgb",
    "pavgw",
    "pcmpeqb",
    "pcmpeqd",
    "pcmpeqw",
    "pcmpgtb",
    "pcmpgtd",
    "pcmpgtw",
    "pextrw",
    "pinsrw",
    "pmaddwd",
    "pmaxsw",
    "pmaxub",
    "pminsw",
    "pminub",
    "pmovmskb",
    "pmulhuw",
    "pmulhw",
    "pmullw",
    "pmuludq",
    "pop",
    "por",
    "psadbw",
    "pslld",
    "psllq",
    "psllw",
    "psrad",
    "psraw",
    "psrld",
    "psrlq",
    "psrlw",
    "psubb",
    "psubd",
    "psubq",
    "psubsb",
    "psubsw",
    "psubusb",
    "psubusw",
    "psubw",
    "punpckhbw",
    "punpckhdq",
    "punpckhqdq",
    "punpckhwd",
    "punpcklbw",
    "punpckldq",
    "punpcklwd",
    "punpcklqdq",
    "push",
    "pxor",
    "rcpPS",
    "rdmsr",
    "rdpmc",
    "rdtsc",
    "ret",
    "rsm",
    "rsqrtPS",
    "sahf",
    "salc",
    "sbb",
    "scasb",
    "set%cc",
    "shld",
    "shrd",
    "shufPS",
    "sqrtPS",
    "stc",
    "std",
    "sti",
    "stosb",
    "sub",
    "subPS",
    "syscall",
    "sysenter",
    "sysexit",
    "test",
    "ucomisS",
    "unpckhPS",
    "unpcklPS",
    "wait",
    "wbinvd",
    "wrmsr",
    "xadd",
    "xchg",
    "xlat",
    "xor",
    "xorPS",
    "cwde/cbw",
    "cdq/cwd",
    "pop     %seg",
    "popad/popa",
    "popfd/popf",
    "push    %seg",
    "pushad/pusha",
    "pushfd/pushf",
    "outsd/outsw",
    "insd/insw",
    "movsd/movsw",
    "cmpsd/cmpsw",
    "lodsd/lodsw",
    "stosd/stosw",
    "scasd/scasw",
    "maskmovq/maskmovdqu",
    "movd///movq",
    "movntq/movntdq",
    "movq//movdq2q/movq2dq",
    "movq/movdqa//movdqu",
    "movuPS//movPS/movPS",
    "prefetch|prefetchw",
    "pshufw/pshufd/pshuflw/pshufhw",
    "sgdt|sidt|lgdt|lidt|smsw||lmsw|invlpg",
    "sldt|str|lldt|ltr|verr|verw",
    "||||bt|bts|btr|btc",
    "||psrld||psrad||pslld",
    "||psrlq|psrldq|||psllq|pslldq",
    "||psrlw||psraw||psllw",
    "cvtdq2ps/cvtps2dq//cvttps2dq",
    "cvtPs2Pd/cvtPd2Ps/cvtPd2Ps",
    "cvttpd2dq//cvtpd2dq/cvtdq2pd",
    "add|or|adc|sbb|and|sub|xor|cmp",
    "inc|dec|call|call|jmp|jmp|push",
    "rol|ror|rcl|rcr|shl|shr|sal|sar",
    "test||not|neg|mul|imul|div|idiv",
    "add|mul|com|comp|sub|subr|div|divr|add|mul|com|comp|subr|sub|divr|div",
    "movhlPS:movlPS/movlPS/movddup/movsldup",
    "movlhPS:movhPS/movhPS/movlhPS:movhPS/movshdup",
    "prefetchnta|prefetcht0|prefetcht1|prefetcht2|prefetcht3",
    "fxsave|fxrstor|ldmxcsr|stmxcsr||lfence|mfence|sfence:clflush",
    "ld||st|stp|ldenv|ldcw|nstenv|nstcw|ld|xch|nop|stp1|chs-abs---tst-xam|ld1-ldl2t-ldl2e-ldpi-ldlg2-ldln2-ldz|2xm1-"
    "yl2x-ptan-patan-xtract-prem1-decstp-incstp|prem-yl2xp1-sqrt-sincos-rndint-scale-sin-cos",
    "iadd|imul|icom|icomp|isub|isubr|idiv|idivr|cmovb|cmove|cmovbe|cmovu||ucompp",
    "ild|isttp|ist|istp||ld||stp|cmovnb|cmovne|cmovnbe|cmovnu|neni-ndisi-nclex-ninit-nsetpm|ucomi|comi",
    "ld|isttp|st|stp|rstor||nsave|nstsw|free|xch4|st|stp|ucom|ucomp",
    "iadd|imul|icom|icomp|isub|isubr|idiv|idivr|addp|mulp|comp5|compp|subrp|subp|divrp|divp",
    "ild|isttp|ist|istp|bld|ild|bstp|istp|freep|xch7|stp8|stp9|nstsw  ax|ucomip|comip",
    "andPS",
    "addsubpd//addsubps",
    "haddpd//haddps",
    "hsubpd//hsubps",
    "lddqu",
    // Names only 64-bit code needs:
    "movsxd",
    "endbr64",
    "ud2",
    "cdqe",
    "cqo",
    "movsq",
    "stosq",
    "lodsq",
    "scasq",
    "cmpsq",
    "iretq",
    "pushfq",
    "popfq",
    "cmpxchg16b",
    "movq",
    "jrcxz",
    "endbr32",
    "swapgs",
    "rdtscp",
};
const int MnemonicCount = sizeof(MnemonicList) / sizeof(MnemonicList[0]) - 1;
static_assert(sizeof(MnemonicList) / sizeof(MnemonicList[0]) == mnLast + 1, "one name per index");

const char* const ConditionNames[16] = {"o", "no", "b", "nb", "z", "nz", "be", "a",
                                        "s", "ns", "p", "np", "l", "ge", "le", "g"};
const char* const Reg8Names[8] = {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"};
const char* const Reg16Names[8] = {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di"};
const char* const SegNames[6] = {"es", "cs", "ss", "ds", "fs", "gs"};
const char* const Reg32Names[8] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};

const TSuffixName Suffix3DNow[] = {
    {0x0C, "pi2fw"},   {0x0D, "pi2fd"}, {0x1C, "pf2iw"},    {0x1D, "pf2id"},    {0x8A, "pfnacc"}, {0x8E, "pfpnacc"},
    {0x90, "pfcmpge"}, {0x94, "pfmin"}, {0x96, "pfrcp"},    {0x97, "pfrsqrt"},  {0x9A, "pfsub"},  {0x9E, "pfadd"},
    {0xA0, "pfcmpgt"}, {0xA4, "pfmax"}, {0xA6, "pfrcpit1"}, {0xA7, "pfrsqit1"}, {0xAA, "pfsubr"}, {0xAE, "pfacc"},
    {0xB0, "pfcmpeq"}, {0xB4, "pfmul"}, {0xB6, "pfrcpit2"}, {0xB7, "pmulhrw"},  {0xBB, "pswapd"}, {0xBF, "pavgusb"},
};
const int Suffix3DNowCount = sizeof(Suffix3DNow) / sizeof(Suffix3DNow[0]);

const char* Name3DNow(uint8_t suffix)
{
    for (const TSuffixName& entry : Suffix3DNow)
        if (entry.suffix == suffix)
            return entry.name;
    return nullptr;
}

} // namespace zordisasm
