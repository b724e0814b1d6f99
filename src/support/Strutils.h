#pragma once
// String utilities on ANSI byte strings (positions count from 1): blank and
// character removal, padding, words split by a set of delimiter characters,
// searching, wildcard matching, numbers in any base and in Roman numerals,
// OEM code-page conversion, command-line switches and a reversible
// hexadecimal encoding under a key.
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A set of byte values.
using TCharSet = std::bitset<256>;
// The set of the given characters.
TCharSet CharSet(std::string_view chars);
// The set of the byte values from first to last.
TCharSet CharRange(unsigned char first, unsigned char last);
inline bool InSet(const TCharSet &set, char c) { return set[static_cast<unsigned char>(c)]; }

// ---- blanks, characters and padding ---------------------------------------------
bool IsEmptyStr(const std::string &s, const TCharSet &emptyChars);
std::string DelSpace(const std::string &s);
std::string DelChars(const std::string &s, char chr);
std::string DelBSpace(const std::string &s);
std::string DelESpace(const std::string &s);
std::string DelRSpace(const std::string &s);
// Every run of blanks reduced to one blank.
std::string DelSpace1(const std::string &s);
std::string Tab2Space(const std::string &s, std::uint8_t numb);
std::string MakeStr(char c, int n);
std::string MS(char c, int n);
// Padded on the left (AddChar) or right (AddCharR) with c to length n.
std::string AddChar(char c, const std::string &s, int n);
std::string AddCharR(char c, const std::string &s, int n);
std::string LeftStr(const std::string &s, int n);
std::string RightStr(const std::string &s, int n);
std::string CenterStr(const std::string &s, int len);
// ANSI (Windows-1252) <-> OEM (code page 437), byte for byte. A character
// the other page lacks becomes its base letter when it has one, else '?'.
std::string StrToOem(const std::string &s);
std::string OemToAnsiStr(const std::string &s);

// ---- searching and comparing ---------------------------------------------------
// Every occurrence replaced from left to right; replacements are not
// searched again. An empty search text leaves the text unchanged.
std::string ReplaceStr(const std::string &s, const std::string &srch, const std::string &replace);
// Position of the n-th occurrence, overlapping occurrences counted; 0 when
// there are fewer or n < 1.
int NPos(const std::string &c, const std::string &s, int n);
// -1, 0 or 1 by the locale's sort order; CompText ignores case.
int CompStr(const std::string &s1, const std::string &s2);
int CompText(const std::string &s1, const std::string &s2);
std::string Copy2Symb(const std::string &s, char symb);
std::string Copy2SymbDel(std::string &s, char symb);
std::string Copy2Space(const std::string &s);
std::string Copy2SpaceDel(std::string &s);
std::string QuotedString(const std::string &s, char quote);
std::string ExtractQuotedString(const std::string &s, char quote);
// Position of the pattern in the text, "?" matching any character; 0 when
// absent.
int FindPart(const std::string &helpWilds, const std::string &inputStr);
// "*" any run of characters, "?" one character; greedy, without
// backtracking.
bool IsWild(std::string inputStr, std::string wilds, bool ignoreCase);

// ---- words ---------------------------------------------------------------------
int WordCount(const std::string &s, const TCharSet &wordDelims);
int WordPosition(int n, const std::string &s, const TCharSet &wordDelims);
std::string ExtractWord(int n, const std::string &s, const TCharSet &wordDelims);
std::string ExtractWordPos(int n, const std::string &s, const TCharSet &wordDelims, int &pos);
// The n-th field; every delimiter ends a field, so empty fields count.
std::string ExtractDelimited(int n, const std::string &s, const TCharSet &delims);
// From pos up to the next delimiter; pos moves past it (or to the end).
std::string ExtractSubstr(const std::string &s, int &pos, const TCharSet &delims);
bool IsWordPresent(const std::string &w, const std::string &s, const TCharSet &wordDelims);
std::string AnsiProperCase(const std::string &s, const TCharSet &wordDelims);

// ---- numbers -------------------------------------------------------------------
// Bases must lie from 2 to 36 and group sizes be at least 1: anything else
// raises EConvertError rather than dividing by zero or reading garbage.
std::string Numb2USA(const std::string &s);
std::string Dec2Hex(std::int64_t n, int digits);
std::string D2H(std::int64_t n, int digits);
std::int32_t Hex2Dec(const std::string &s);
std::int32_t H2D(const std::string &s);
std::string Dec2Numb(std::int32_t n, int len, int base);
std::int32_t Numb2Dec(const std::string &s, int base);
std::string IntToRoman(int value);
int RomanToInt(const std::string &s);
std::string IntToBin(std::uint32_t value, int digits, int spaces);

// ---- command line and encoding ---------------------------------------------------
// The parameter after the switch `name` among the program's parameters
// (switches begin with one of switchChars when that set is not empty);
// empty when none matches or the match is the last parameter.
std::string GetCmdLineArg(const std::string &name, const TCharSet &switchChars);
// The same over given parameters (without the program name).
std::string GetCmdLineArg(const std::string &name, const TCharSet &switchChars,
                          const std::vector<std::string> &params);
// Each character combined with the key by exclusive or (texts and key cut to
// 255 characters); the text unchanged for an empty key.
std::string XorString(const std::string &key, const std::string &src);
// Two lower-case hexadecimal digits per character after the exclusive or.
std::string XorEncode(const std::string &key, const std::string &source);
std::string XorDecode(const std::string &key, const std::string &source);
