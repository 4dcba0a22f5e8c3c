// zorStrings: the crash reporter's own text routines. The reporter depends on
// no formatting library of the run-time: every number, size and error text it
// writes goes through these, so their formats are the formats of the whole
// reporter ("$" and lower-case hex digits, padding rules, two-decimal sizes).
//
// Two string kinds: ansi (std::string, bytes; names ending in A) and wide
// (std::u16string, UTF-16 code units; names ending in W). Positions are
// 1-based; a position or count of ZorEnd (0x7FFFFFFF) stands for the end.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "crashreport/diagnostics/zorTypes.h"

constexpr int32_t ZorEnd = 0x7FFFFFFF;

// Every address the reporter prints for code or stack (call-stack lines,
// register lines, dump rows, the disassembly listing) is this many lower-case
// hex digits without "$". Fixed columns of those texts derive from it.
constexpr int32_t ZorAddressDigits = 16;
std::string AddressTextA(uint64_t address);
std::u16string AddressTextW(uint64_t address);

// The Windows-1252 lower-case table (every code to itself but the upper-case
// letters) and the digit value table ("0"-"9" 0..9, "A"-"F"/"a"-"f" 10..15,
// every other code 0).
extern const std::array<uint8_t, 256> ZorLowerCaseTable;
extern const std::array<uint8_t, 256> ZorDigitValueTable;

// ---------------------------------------------------------------------------
// Numbers. Padding: n = |minLen| - length; minLen < 0 appends n fills,
// minLen > 0 puts them in front (behind a leading "-" when the fill is a
// decimal digit, so minLen counts the sign).

std::string IntToDecTextA(int32_t value, int32_t minLen = 0, char fill = ' ');
std::u16string IntToDecTextW(int32_t value, int32_t minLen = 0, char16_t fill = u' ');
std::string CardToDecTextA(uint32_t value, int32_t minLen = 0, char fill = ' ');
std::u16string CardToDecTextW(uint32_t value, int32_t minLen = 0, char16_t fill = u' ');
std::string Int64ToDecTextA(int64_t value, int32_t minLen = 0, char fill = ' ');
std::u16string Int64ToDecTextW(int64_t value, int32_t minLen = 0, char16_t fill = u' ');

// "$" and lower-case digits without leading zeros; |minLen| counts the digits.
// minLen > 0 with a hex-digit fill: digits padded in front ("$001f"); with
// another fill the whole padded in front to |minLen| + 1 ("  $1f");
// minLen < 0: digits padded behind ("$1f  ").
std::string IntToHexTextA(uint32_t value, int32_t minLen = 0, char fill = '0');
std::u16string IntToHexTextW(uint32_t value, int32_t minLen = 0, char16_t fill = u'0');
std::string CardToHexTextA(uint32_t value, int32_t minLen = 0, char fill = '0');
std::u16string CardToHexTextW(uint32_t value, int32_t minLen = 0, char16_t fill = u'0');
std::string Int64ToHexTextA(uint64_t value, int32_t minLen = 0, char fill = '0');

// "1023 Bytes", "1.49 KB", "1.00 MB", "2.50 GB": two decimals, truncated, with
// the locale's decimal separator.
std::u16string SizeToTextW(int64_t bytes);
// The first character of the locale's decimal separator ("." in the C locale),
// read once.
char16_t LocaleDecimalSeparator();

// The system's text for an errno value (line breaks folded into blanks), else
// "System error $" and the code in hex.
std::string ErrorCodeTextA(uint32_t code);
std::u16string ErrorCodeTextW(uint32_t code);

// ---------------------------------------------------------------------------
// Conversions. Both stop at the first 0. The decoder is lenient: a byte that
// starts no valid sequence becomes the unit of the same value (Latin-1).
std::u16string Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::u16string& wide);
// The low byte of each unit, up to the first 0.
std::string WideToAnsiTrunc(const std::u16string& wide);

// ---------------------------------------------------------------------------
// Paths. Both "\" and "/" separate folders (the program's paths and the
// system's); drives and shares are Windows forms.

std::u16string FileNamePartW(const std::u16string& path); // after the last separator
std::u16string FilePathPartW(const std::u16string& path); // up to and with the last separator
// "\\server\share\" of a share path, "C:\" of a drive path, else the path.
std::u16string FileDrivePartW(const std::u16string& path);
std::u16string FileExtPartW(const std::u16string& path); // from the last "." on, "" without
std::u16string RightPartW(const std::u16string& text, int32_t count);
std::u16string YesNoTextW(bool value); // "+" or "-"
// True for a non-empty identifier: letters, "_" or units >= 256 first, then
// those, digits and (with allowDots) dots.
bool IsIdentifierW(const std::u16string& text, bool allowDots);

// ---------------------------------------------------------------------------
// Editing (the In-place routines change their first argument).

std::string DeletedA(const std::string& text, int32_t index, int32_t count);
std::u16string DeletedW(const std::u16string& text, int32_t index, int32_t count);
void KeepRangeA(std::string& text, int32_t index, int32_t count);
void KeepRangeW(std::u16string& text, int32_t index, int32_t count);
void TrimA(std::string& text); // drops codes 0..32 at both ends
void TrimW(std::u16string& text);
std::string TrimCopyA(const std::string& text);
std::u16string TrimCopyW(const std::u16string& text);
std::string PadA(const std::string& text, int32_t len, char fill);
std::u16string PadW(const std::u16string& text, int32_t len, char16_t fill);

bool RemoveCharW(std::u16string& text, char16_t unit);
bool RemoveCharSetW(std::u16string& text, const TZorCharSet& set);
bool RemoveTextW(std::u16string& text, const std::u16string& sub); // case-sensitive, no overlaps

// Replaces every occurrence left to right; true when one was found. With
// rescan the search resumes inside the inserted text, so text formed by a
// replacement is replaced again ("  " -> " " leaves no two blanks); when the
// replacement itself holds the searched text, rescan would never end and one
// plain pass is made instead.
bool ReplaceInA(std::string& text, const std::string& sub, const std::string& replacement, bool ignoreCase,
                bool rescan);
bool ReplaceInW(std::u16string& text, const std::u16string& sub, const std::u16string& replacement, bool ignoreCase,
                bool rescan);
bool ReplaceStrA(std::string& text, const std::string& sub, const std::string& replacement, bool rescan = false);
bool ReplaceStrW(std::u16string& text, const std::u16string& sub, const std::u16string& replacement,
                 bool rescan = false);
bool ReplaceTextA(std::string& text, const std::string& sub, const std::string& replacement, bool rescan = false);
bool ReplaceTextW(std::u16string& text, const std::u16string& sub, const std::u16string& replacement,
                  bool rescan = false);

// ---------------------------------------------------------------------------
// Case. Folding (comparisons, searches) goes through ZorLowerCaseTable; wide
// units at or above 256 compare exactly.

char UpCharA(char c); // a-z and 0xE4, 0xF6, 0xFC
std::string UpStrA(const std::string& text);
std::u16string UpStrW(const std::u16string& text);
char16_t LowCharW(char16_t c);
std::u16string LowStrW(const std::u16string& text); // A-Z and 0xC4, 0xD6, 0xDC
bool SameTextA(const std::string& a, const std::string& b);
bool SameTextW(const std::u16string& a, const std::u16string& b);

// ---------------------------------------------------------------------------
// Search. Sub-string searches: with from <= to the first occurrence starting
// in from..to, with from > to the last one starting in to..from; 0 when none,
// when from or to is 0, or when either text is empty.

int32_t PosStrA(const std::string& sub, const std::string& text, int32_t from = 1, int32_t to = ZorEnd);
int32_t PosStrW(const std::u16string& sub, const std::u16string& text, int32_t from = 1, int32_t to = ZorEnd);
int32_t PosTextA(const std::string& sub, const std::string& text, int32_t from = 1, int32_t to = ZorEnd);
int32_t PosTextW(const std::u16string& sub, const std::u16string& text, int32_t from = 1, int32_t to = ZorEnd);
// The first unit in (or not in) the set from `from` towards `to` (backwards
// when to < from); positions past the end are clipped; 0 when none.
int32_t PosCharSetA(const TZorCharSet& set, const std::string& text, int32_t from = 1, int32_t to = ZorEnd);
int32_t PosCharSetW(const TZorCharSet& set, const std::u16string& text, int32_t from = 1, int32_t to = ZorEnd);
int32_t PosNotCharSetW(const TZorCharSet& set, const std::u16string& text, int32_t from = 1, int32_t to = ZorEnd);
bool StartsWithA(const std::string& prefix, const std::string& text);
bool StartsWithW(const std::u16string& prefix, const std::u16string& text);
bool StartsWithTextW(const std::u16string& prefix, const std::u16string& text);

// A leading "-" negates; every other character adds its digit value in base
// 16 or 10 without any check (wide: the low byte of each unit). nullptr: 0.
int32_t DigitsToIntA(bool hex, const char* digits, int32_t count);
int32_t DigitsToIntW(bool hex, const char16_t* digits, int32_t count);

// ---------------------------------------------------------------------------
// Lists: items separated by one delimiter character.

// Single delimiters between trimmed, non-empty items: " , a ,, b ," -> "a,b".
void TidyItemsW(std::u16string& list, char16_t delimiter);
int32_t ItemCountA(const std::string& list, char delimiter);
int32_t ItemCountW(const std::u16string& list, char16_t delimiter);
std::string ItemA(const std::string& list, int32_t index, char delimiter);
std::u16string ItemW(const std::u16string& list, int32_t index, char16_t delimiter);
bool HasItemW(const std::u16string& list, const std::u16string& item, char16_t delimiter);
bool HasItemTextW(const std::u16string& list, const std::u16string& item, char16_t delimiter);

// The lines of a text split at LF (a CR before it stays); a last line without
// LF counts, nothing after a final LF does.
TDAAnsiString SplitLinesA(const std::string& text);
