#include "netclient/NetMessageClient.h"

#include "netclient/NetCoder.h"
#include "netclient/NetCoderHeader.h"

#include <fstream>

TNetMessageClient::TNetMessageClient() = default;
TNetMessageClient::~TNetMessageClient() = default;

std::vector<std::string> SplitLineBreaks(const std::string &line)
{
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < line.size() && line[i + 1] == '\n')
                ++i;
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    return pieces;
}

static std::string dotStuffed(const std::string &line) { return !line.empty() && line[0] == '.' ? "." + line : line; }

void TNetMessageClient::writeBodyLines(const TStringList &lines, bool jis)
{
    for (int i = 0; i < lines.Count(); ++i)
        for (const std::string &piece : SplitLineBreaks(lines[i]))
            WriteLn(dotStuffed(jis ? ShiftJisToJis(piece) : piece));
}

void TNetMessageClient::writeCoded(const std::string &coded)
{
    std::vector<std::string> pieces = SplitLineBreaks(coded);
    if (!pieces.empty() && pieces.back().empty())
        pieces.pop_back();  // the coded text's own last line end
    for (const std::string &piece : pieces)
        WriteLn(dotStuffed(piece));
}

void TNetMessageClient::writeHeaderLines(const TStringList &lines)
{
    for (int i = 0; i < lines.Count(); ++i) {
        bool first = true;
        for (const std::string &piece : SplitLineBreaks(lines[i])) {
            // An empty line would end the header and a piece at the margin
            // would begin a header of its own: neither may come from a value.
            if (Rtl::Trim(piece).empty())
                continue;
            if (!first && piece[0] != ' ' && piece[0] != '\t')
                WriteLn(" " + piece);
            else
                WriteLn(piece);
            first = false;
        }
    }
}

void TNetMessageClient::CheckTextCount(const TNetMessage &Msg)
{
    int texts = 0;
    for (int i = 0; i < Msg.Parts.Count(); ++i)
        if (dynamic_cast<const TNetText *>(&Msg.Parts.Items(i)))
            ++texts;
    if (texts == 1)
        throw ENetTextInvalidCount(NetRes::RSMsgInvalidTextCount);
}

std::string TNetMessageClient::ContentTypeWithCharSet(const std::string &contentType, const std::string &charSet)
{
    const std::string cs = HeaderValueOneLine(Rtl::Trim(charSet));
    if (cs.empty())
        return contentType;
    if (Rtl::Trim(contentType).empty())
        return "text/plain; charset=" + cs;
    if (Rtl::LowerCase(contentType).find("charset=") != std::string::npos)
        return contentType;
    return contentType + "; charset=" + cs;
}

void TNetMessageClient::SendHeader(TNetMessage &Msg, int &attachments, int &texts, int &related)
{
    attachments = texts = related = 0;
    for (int i = 0; i < Msg.Parts.Count(); ++i) {
        TNetMessagePart &p = Msg.Parts.Items(i);
        if (dynamic_cast<TNetText *>(&p)) {
            ++texts;
        } else if (dynamic_cast<TNetAttachment *>(&p)) {
            ++attachments;
            if (!p.ExtraHeaders.Values("Content-ID").empty())
                ++related;
        }
    }
    const std::string q = "\"";
    if (related > 0)
        Msg.ContentType = "multipart/related; type=\"multipart/alternative\"; boundary=" + q +
                          NetRes::RSMsgBoundaryRelated + q;
    else if (attachments > 0)
        Msg.ContentType = "multipart/mixed; boundary=" + q + NetRes::RSMsgBoundaryMixed + q;
    else if (texts > 0)
        Msg.ContentType = "multipart/alternative; boundary=" + q + NetRes::RSMsgBoundaryMixed + q;
    const std::unique_ptr<TNetHeaderList> header =
        Msg.GenerateHeader(ContentTypeWithCharSet(Msg.ContentType, Msg.CharSet));
    writeHeaderLines(*header);
}

void TNetMessageClient::SendMsg(TNetMessage &Msg)
{
    CheckTextCount(Msg);
    int attachments, texts, related;
    SendHeader(Msg, attachments, texts, related);
    WriteLn();
    SendBody(Msg, attachments, texts, related);
}

void TNetMessageClient::sendText(TNetText &text, bool jis)
{
    if (text.ContentType().empty())
        text.SetContentType("text/plain");
    if (text.ContentTransfer().empty())
        text.SetContentTransfer("quoted-printable");
    std::unique_ptr<TNetCoder> coder = CoderFor(text.ContentType(), text.ContentTransfer(), ckEncoder)->Create();
    coder->CompleteOnCode = true;
    WriteLn("Content-Type: " + HeaderValueOneLine(text.ContentType()));
    WriteLn("Content-Transfer-Encoding: " + HeaderValueOneLine(text.ContentTransfer()));
    writeHeaderLines(text.ExtraHeaders);
    WriteLn();
    for (int i = 0; i < text.Body.Count(); ++i)
        for (const std::string &piece : SplitLineBreaks(text.Body[i])) {
            coder->Reset();
            std::string coded = coder->CodeString(piece + "\r\n");
            if (coded.rfind("0;", 0) == 0)
                coded.erase(0, 2);
            else
                continue;  // a notification carries no text of the part
            writeCoded(jis ? ShiftJisToJis(coded) : coded);
        }
    WriteLn();
}

void TNetMessageClient::sendAttachment(TNetAttachment &attachment)
{
    if (attachment.ContentTransfer().empty())
        attachment.SetContentTransfer("base64");
    if (attachment.ContentDisposition().empty())
        attachment.SetContentDisposition("attachment");
    const TNetCoderItem *item = CoderFor(attachment.ContentType(), attachment.ContentTransfer(), ckEncoder);
    if (attachment.ContentTransfer() == "base64" && attachment.ContentType().empty())
        attachment.SetContentType("application/octet-stream");
    std::unique_ptr<TNetCoder> coder = item->Create();
    coder->AppendLineBreak = true;
    coder->CompleteOnCode = true;
    std::ifstream in(attachment.FileName, std::ios::binary);
    if (!in)
        throw EFOpenError("Cannot open file " + attachment.FileName);
    const std::string name = HeaderValueOneLine(Rtl::ExtractFileName(attachment.FileName));
    WriteLn("Content-Type: " + HeaderValueOneLine(attachment.ContentType()) + ";");
    WriteLn("        name=\"" + name + "\"");
    WriteLn("Content-Transfer-Encoding: " + HeaderValueOneLine(attachment.ContentTransfer()));
    WriteLn("Content-Disposition: " + HeaderValueOneLine(attachment.ContentDisposition()) + ";");
    WriteLn("        filename=\"" + name + "\"");
    writeHeaderLines(attachment.ExtraHeaders);
    WriteLn();
    // Streamed straight from the file, 57 bytes (one Base64 line) at a time.
    char chunk[57];
    for (;;) {
        in.read(chunk, sizeof chunk);
        const std::streamsize n = in.gcount();
        if (n <= 0)
            break;
        coder->Reset();
        std::string coded = coder->CodeString(std::string_view(chunk, size_t(n)));
        if (coded.rfind("0;", 0) == 0)
            writeCoded(coded.substr(2));
        if (n < std::streamsize(sizeof chunk))
            break;
    }
    if (in.bad())
        throw EInOutError("Cannot read file " + attachment.FileName);
    WriteLn();
}

void TNetMessageClient::SendBody(TNetMessage &Msg, int attachments, int texts, int related)
{
    BeginWork(wmWrite);
    struct EndWorkGuard {
        TNetMessageClient &c;
        ~EndWorkGuard() { c.EndWork(wmWrite); }
    } guard {*this};
    const TMimeSettings mime = MimeSettingsFromLocale();
    const bool jis = mime.JisMode;
    auto eachPart = [&Msg](auto fn) {
        for (int i = 0; i < Msg.Parts.Count(); ++i)
            fn(Msg.Parts.Items(i));
    };
    if (attachments == 0 && texts == 0) {
        DoStatus(StatusText, NetRes::RSMsgEncodingText);
        writeBodyLines(Msg.Body, jis);
        return;
    }
    WriteLn(NetRes::RSMsgMultiPartPreamble);
    WriteLn();
    if (attachments == 0) {
        eachPart([&](TNetMessagePart &p) {
            if (auto *t = dynamic_cast<TNetText *>(&p)) {
                WriteLn(std::string("--") + NetRes::RSMsgBoundaryMixed);
                DoStatus(StatusText, NetRes::RSMsgEncodingText);
                sendText(*t, jis);
            }
        });
        WriteLn(std::string("--") + NetRes::RSMsgBoundaryMixed + "--");
        return;
    }
    const std::string boundary = related > 0 ? NetRes::RSMsgBoundaryRelated : NetRes::RSMsgBoundaryMixed;
    WriteLn("--" + boundary);
    if (texts < 2) {
        WriteLn("Content-Type: text/plain");
        WriteLn("Content-Transfer-Encoding: 7bit");
        WriteLn();
        writeBodyLines(Msg.Body, jis);
    } else {
        const std::string alt = NetRes::RSMsgBoundaryAlternative;
        WriteLn("Content-Type: multipart/alternative; ");
        WriteLn("        boundary=\"" + alt + "\"");
        WriteLn();
        eachPart([&](TNetMessagePart &p) {
            if (auto *t = dynamic_cast<TNetText *>(&p)) {
                WriteLn("--" + alt);
                DoStatus(StatusText, NetRes::RSMsgEncodingText);
                sendText(*t, jis);
            }
        });
        WriteLn("--" + alt + "--");
    }
    eachPart([&](TNetMessagePart &p) {
        if (auto *a = dynamic_cast<TNetAttachment *>(&p)) {
            WriteLn();
            WriteLn("--" + boundary);
            DoStatus(StatusText, NetRes::RSMsgEncodingAttachment);
            sendAttachment(*a);
        }
    });
    WriteLn("--" + boundary + "--");
}

void TNetMessageClient::ReceiveHeader(TNetMessage &Msg, const std::string &terminator)
{
    Msg.RawHeaders.Clear();
    Capture(&Msg.RawHeaders, terminator, true);
    Msg.ProcessHeaders();
}

void TNetMessageClient::ReceiveBody(TNetMessage &Msg)
{
    Msg.Body.Clear();
    BeginWork(wmRead);
    struct EndWorkGuard {
        TNetMessageClient &c;
        ~EndWorkGuard() { c.EndWork(wmRead); }
    } guard {*this};
    Capture(&Msg.Body, ".", true);
}

void TNetMessageClient::Receive(TNetMessage &Msg)
{
    ReceiveHeader(Msg, std::string());
    ReceiveBody(Msg);
}
