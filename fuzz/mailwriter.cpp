// The header writer of outgoing mail: a message made from the input (sender
// name and address, recipient and copy lists, subject, organization,
// content type and character set, extra header lines of the message and of
// two text parts; fields separated by NUL bytes) is sent into a capturing
// client. Every line of the message's header block and of each part's
// header block must be a "Name: value" line or a folded continuation, and
// no line may carry a CR or LF of its own.
#include "netclient/NetMessageClient.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct CapturingClient : TNetMessageClient {
    std::vector<std::string> lines;
    void Write(const std::string &text) override { lines.push_back("\x01" + text); }  // no header uses it
    void WriteLn(const std::string &text) override { lines.push_back(text); }
};

std::vector<std::string> fieldsOf(const std::string &text)
{
    std::vector<std::string> f(1);
    for (const char c : text) {
        if (c == '\0')
            f.emplace_back();
        else
            f.back() += c;
    }
    return f;
}

bool isNameLine(const std::string &line)
{
    size_t i = 0;
    while (i < line.size() && line[i] != ':' && static_cast<unsigned char>(line[i]) > 32 &&
           static_cast<unsigned char>(line[i]) < 127)
        ++i;
    return i > 0 && i < line.size() && line[i] == ':';
}

bool isContinuation(const std::string &line)
{
    if (line.empty() || (line[0] != ' ' && line[0] != '\t'))
        return false;
    return line.find_first_not_of(" \t") != std::string::npos;
}

// The lines from `from` up to the empty line that ends the block (or the end).
void checkBlock(const std::vector<std::string> &lines, size_t from)
{
    bool first = true;
    for (size_t i = from; i < lines.size() && !lines[i].empty(); ++i) {
        const std::string &l = lines[i];
        if (l.find_first_of("\r\n") != std::string::npos)
            std::abort();
        if (!(isNameLine(l) || (!first && isContinuation(l))))
            std::abort();
        first = false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> f = fieldsOf(std::string(reinterpret_cast<const char *>(data), size));
    f.resize(std::max<size_t>(f.size(), 9));
    TNetMessage m;
    m.From.Name = f[0];
    m.From.Address = f[1];
    m.Recipients.SetEMailAddresses(f[2]);
    m.CCList.SetEMailAddresses(f[3]);
    m.Subject = f[4];
    m.Organization = f[5];
    m.ContentType = f[6];
    m.CharSet = f[7];
    m.Body.Add("body");
    // Fields 8 on: extra header lines, the first three of the message, then
    // one for each of the two text parts.
    const size_t parts = f.size() > 11 ? 2 : 0;
    for (size_t i = 8; i < f.size() && i < 11; ++i)
        m.ExtraHeaders.Add(f[i]);
    for (size_t k = 0; k < parts; ++k) {
        TNetText &t = m.Parts.AddText();
        t.Body.Add("text");
        for (size_t i = 11 + k; i < f.size(); i += 2)
            t.ExtraHeaders.Add(f[i]);
    }
    CapturingClient c;
    try {
        c.SendMsg(m);
    } catch (const Exception &) {
        return 0;  // a content type or character set the coders refuse
    }
    checkBlock(c.lines, 0);
    // A part's header block follows each boundary line (the closing ones,
    // ending in "--", are not followed by one).
    const std::string boundaries[] = {std::string("--") + NetRes::RSMsgBoundaryMixed,
                                      std::string("--") + NetRes::RSMsgBoundaryAlternative,
                                      std::string("--") + NetRes::RSMsgBoundaryRelated};
    for (size_t i = 0; i + 1 < c.lines.size(); ++i)
        for (const std::string &b : boundaries)
            if (c.lines[i] == b)
                checkBlock(c.lines, i + 1);
    return 0;
}
