#pragma once
// Encoded words in mail headers (RFC 2047): non-ASCII header texts are put
// into "=?charset?Q?...?=" or "=?charset?B?...?=" words when a message is
// written and taken out again when one is read; addresses are formatted for
// the address headers; Japanese text is converted between Shift_JIS and
// ISO-2022-JP.
#include "netclient/NetEMailAddress.h"

#include <string>

struct TMimeSettings {
    bool JisMode = false;     // convert Shift_JIS text to ISO-2022-JP first
    char HeaderEncoding = 'Q';  // 'Q' or 'B'
    std::string CharSet = "ISO-8859-1";
};

// Settings by the system locale: simplified Chinese GB2312, other Chinese
// Big5, Japanese ISO-2022-JP (JIS mode), Korean EUC-KR, all with B; any
// other ISO-8859-1 with Q.
TMimeSettings MimeSettingsFromLocale();
TMimeSettings MimeSettingsForCharSet(int defaultCharSet);

// The special characters of display names; "Subject" and "Organization" use none.
extern const char *const DisplayNameSpecials;

// Words with bytes below 32 or above 126 (or one of specials) go into
// encoded words; adjacent ones share a word; encoded words are split before
// column 75 with CR LF TAB.
std::string EncodeHeaderText(const std::string &text, const std::string &specials, char headerEncoding,
                             bool jisMode, const std::string &charSet);
// The address; with a display name: the name (encoded when it has bytes
// outside 32..126, else double-quoted with backslash escapes), a blank and
// the address in angle brackets.
std::string EncodeAddressText(const TNetEMailAddressItem &item, char headerEncoding, bool jisMode,
                              const std::string &charSet);
// Each item through EncodeAddressText, joined by ", ".
std::string EncodeAddressListText(const TNetEMailAddressList &list, char headerEncoding, bool jisMode,
                                  const std::string &charSet);
// Decodes every encoded word of an ISO character set (the text between them
// is kept; blanks between two encoded words are dropped); words of other
// character sets stay as they are. ISO-2022-JP words are turned into Shift_JIS.
std::string DecodeEncodedWords(const std::string &text);

std::string ShiftJisToJis(const std::string &text);
std::string JisToShiftJis(const std::string &text);
