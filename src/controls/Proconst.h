#pragma once
// String table of the extended controls: the captions of the button kinds in
// sixteen languages.
//
// The captions are kept as UTF-8 text: most of the languages need letters
// that Windows-1252 does not have, so they go to the widgets as they are and
// become Windows-1252 bytes (with "?" for a letter the code page lacks) only
// where a caller asks for the caption as a byte string.
#include <string>

// First identifier of the caption block: a caption has the identifier
// SProButtonCaptions + base index + 20 x language index.
constexpr int SProButtonCaptions = 30100;
// The Slovak "Yes" has an identifier of its own outside that grid.
constexpr int SProYesSlk = 30138;

// UTF-8 text of a string of the table; empty for an unknown identifier.
std::string ProLoadStr(int ident);
