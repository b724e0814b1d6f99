#pragma once
// Quoted-printable coders (MIME transfer encoding "quoted-printable").
#include "netclient/NetCoder.h"

#include <string>

class TNetQuotedPrintableEncoder : public TNetCoder {
public:
    TNetQuotedPrintableEncoder();
    const char *ClassName() const override { return "TNetQuotedPrintableEncoder"; }
    void Reset() override;

protected:
    // Appends converted text to the pending output and outputs every
    // complete line (a trailing blank or TAB escaped) and every piece of 75
    // or fewer characters that a soft line break ends.
    virtual void EmitLines(const std::string &converted);
    void CodeBlock() override;
    void CodeRemainder() override;

private:
    std::string convert(bool last);
    // Outputs soft-broken pieces of text[from, to) while 76 or more characters remain; returns the new start.
    size_t cut(const std::string &text, size_t from, size_t to);
    std::string pending_;
    bool heldCR_ = false;  // a CR ended the last block: its LF may begin the next
};

class TNetQuotedPrintableDecoder : public TNetCoder {
public:
    TNetQuotedPrintableDecoder();
    const char *ClassName() const override { return "TNetQuotedPrintableDecoder"; }
    void Reset() override;

protected:
    void CodeBlock() override;
    void CodeRemainder() override;

private:
    std::string decode();
    char escape_[2] = {0, 0};
    int escapeCount_ = 0;  // 0: none; 1: after "="; 2: after "=" and one character
};
