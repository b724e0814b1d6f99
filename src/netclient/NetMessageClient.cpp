#include "netclient/NetMessageClient.h"

#include "netclient/NetCoder.h"
#include "netclient/NetCoderHeader.h"
#include "netclient/NetCoderIMF.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>

#include <unistd.h>

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
    for (const std::string &line : HeaderBlockLines(lines))
        WriteLn(line);
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

// Builds a message's parts from the entries of the message decoder: data
// goes to the current part (text lines, or bytes into an attachment's own
// file), header lines of a part make the part and are kept in its headers.
class TNetMessagePartReader::PartBuilder {
public:
    PartBuilder(TNetMessage &msg, int maxParts, std::function<int()> sections)
        : msg_(msg), maxParts_(maxParts), sections_(std::move(sections))
    {
        msg_.Parts.Clear();
        current_ = &msg_.Parts.AddText();
    }
    ~PartBuilder() { closeFile(); }
    PartBuilder(const PartBuilder &) = delete;
    PartBuilder &operator=(const PartBuilder &) = delete;

    void entry(int code, const std::string &text)
    {
        switch (code) {
        case 0: data(text); break;
        case imfFileName: fileName(text); break;
        case imfHeaderEnd:
            // Past this many multipart sections the decoder would forget the
            // outermost boundary and run parts together.
            if (sections_() >= TNetIMFDecoder::MaxBoundaries)
                throw ENetMessageTooComplex(NetRes::RSMsgTooManySections);
            body_ = true;
            break;
        case imfReset: partCreated_ = false; break;
        case imfHeaderLine: headerLine(text); break;
        case imfBoundary:
            flushLine();
            skip_ = true;
            partCreated_ = false;
            break;
        case imfClosingBoundary:
            current_->Closed = true;
            skip_ = true;
            break;
        case imfInputEnd: body_ = false; break;
        default: break;
        }
    }

    // The last text line and the attachment file, completed.
    void finish()
    {
        flushLine();
        closeFile();
    }

private:
    void data(const std::string &text)
    {
        if (skip_) {
            skip_ = false;
            return;
        }
        // After its closing boundary a section's epilogue follows, which
        // is no content.
        if (!body_ || text.empty() || current_->Closed)
            return;
        if (auto *a = dynamic_cast<TNetAttachment *>(current_)) {
            if (!file_)
                openFile(*a);
            if (std::fwrite(text.data(), 1, text.size(), file_) != text.size())
                throw EInOutError("Cannot write file " + a->StoragePath);
            return;
        }
        // Text arrives in pieces of any size: whole lines go to the body.
        pending_ += text;
        size_t at = 0;
        for (;;) {
            const size_t end = pending_.find_first_of("\r\n", at);
            if (end == std::string::npos)
                break;
            if (pending_[end] == '\r' && end + 1 == pending_.size())
                break;  // its LF may come with the next piece
            static_cast<TNetText *>(current_)->Body.Add(pending_.substr(at, end - at));
            at = end + (pending_.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        }
        pending_.erase(0, at);
    }

    void flushLine()
    {
        if (pending_.empty())
            return;
        if (auto *t = dynamic_cast<TNetText *>(current_)) {
            if (pending_.back() == '\r')
                pending_.pop_back();
            t->Body.Add(pending_);
        }
        pending_.clear();
    }

    void headerLine(const std::string &line)
    {
        if (!body_)
            return;
        if (!partCreated_) {
            flushLine();
            closeFile();
            if (msg_.Parts.Count() >= maxParts_)
                throw ENetMessageTooComplex(NetRes::RSMsgTooManyParts);
            const std::string lower = Rtl::LowerCase(line);
            const bool text = lower.find("multipart") != std::string::npos ||
                              lower.find("message") != std::string::npos ||
                              lower.find("attachment") != std::string::npos || lower == "content-type:";
            const bool attachment = !text && (lower.find("name") != std::string::npos ||
                                              lower.find("text") == std::string::npos);
            current_ = attachment ? static_cast<TNetMessagePart *>(&msg_.Parts.AddAttachment(std::string()))
                                  : &msg_.Parts.AddText();
            partCreated_ = true;
        }
        current_->PartHeaders.Add(line);
        skip_ = true;
    }

    void fileName(const std::string &coded)
    {
        auto *a = dynamic_cast<TNetAttachment *>(current_);
        if (!a) {
            flushLine();
            const int index = msg_.Parts.IndexOf(current_);
            auto made = std::make_unique<TNetAttachment>(msg_.Parts, std::string());
            made->PartHeaders.Assign(current_->PartHeaders);
            made->ExtraHeaders.Assign(current_->ExtraHeaders);
            a = made.get();
            msg_.Parts.Replace(index, std::move(made));
            current_ = a;
        }
        a->FileName = DecodeEncodedWords(coded);
        closeFile();
        openFile(*a);
    }

    void openFile(TNetAttachment &a)
    {
        if (a.StoragePath.empty()) {
            std::error_code ec;
            std::string path = (std::filesystem::temp_directory_path(ec) / "mixdeck-partXXXXXX").string();
            const int fd = ::mkstemp(path.data());
            if (fd < 0)
                throw EFCreateError("Cannot create file " + path);
            ::close(fd);
            a.StoragePath = path;
            a.OwnsStorage = true;
        }
        file_ = std::fopen(a.StoragePath.c_str(), "wb");
        if (!file_)
            throw EFCreateError("Cannot create file " + a.StoragePath);
    }

    void closeFile()
    {
        if (file_)
            std::fclose(file_);
        file_ = nullptr;
    }

    TNetMessage &msg_;
    const int maxParts_;
    const std::function<int()> sections_;  // multipart sections found so far
    TNetMessagePart *current_ = nullptr;
    std::FILE *file_ = nullptr;
    std::string pending_;       // text of the current line so far
    bool body_ = false;         // header state until a header block ends
    bool skip_ = false;         // the next data is a part's own header text
    bool partCreated_ = false;  // a part was made since the last boundary
};

TNetMessagePartReader::TNetMessagePartReader(TNetMessage &Msg, int maxParts)
    : msg_(Msg), decoder_(std::make_unique<TNetIMFDecoder>())
{
    builder_ = std::make_unique<PartBuilder>(Msg, maxParts, [this] { return decoder_->Boundaries().Count(); });
    decoder_->DeliverByEvent = true;
    decoder_->OnCodedOutput = [this](TNetCoder *, const std::string &text) { builder_->entry(0, text); };
    decoder_->OnCodedNotification = [this](TNetCoder *, int code, const std::string &text) {
        builder_->entry(code, text);
    };
    decoder_->CodeString("Content-Type: " + Msg.ContentType + "\r\nContent-Transfer-Encoding: " +
                         Msg.ContentTransferEncoding + "\r\n\r\n");
}

TNetMessagePartReader::~TNetMessagePartReader()
{
    decoder_.reset();
    builder_.reset();  // closes an attachment file
    if (!finished_)
        msg_.Parts.Clear();  // with the files of the attachments so far
}

void TNetMessagePartReader::Line(const std::string &line)
{
    decoder_->CodeString(line + "\r\n");
}

void TNetMessagePartReader::Finish()
{
    decoder_->CompletedInput();
    builder_->finish();
    finished_ = true;
}

void TNetMessageClient::ReceiveBody(TNetMessage &Msg)
{
    if (Msg.NoDecode) {
        Msg.Body.Clear();
        Capture(&Msg.Body, ".", true);
        return;
    }
    try {
        TNetMessagePartReader reader(Msg, MaxMessageParts);
        captureLines([&reader](const std::string &line) { reader.Line(line); }, ".", true, NetLineCost);
        reader.Finish();
    } catch (const Exception &) {
        // Refused or failed part-way: the rest of the message is still on
        // its way, so the next exchange could not start clean.
        DisconnectSocket();
        throw;
    }
}

void TNetMessageClient::Receive(TNetMessage &Msg)
{
    // The header block and the body are one reply to the time-out.
    ReplyDeadline reply(*this);
    ReceiveHeader(Msg, std::string());
    ReceiveBody(Msg);
}
