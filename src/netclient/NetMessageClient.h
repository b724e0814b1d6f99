#pragma once
// Base of the mail clients: writes a TNetMessage onto the connection in
// RFC 822 / MIME form (header lines, an empty line, the body with its MIME
// parts, every line that begins with "." dot-doubled) and reads one back.
#include "netclient/NetMessage.h"
#include "netclient/NetTCPClient.h"

#include <memory>
#include <string>

namespace NetRes {
inline constexpr const char *RSMsgBoundaryMixed = "=_NextPart_2mx7qk4zt9wdv3nbe8rs";
inline constexpr const char *RSMsgBoundaryRelated = "=_NextPart_2relmx7qk4zt9wdv3nbe8rs";
inline constexpr const char *RSMsgBoundaryAlternative = "=_NextPart_2altmx7qk4zt9wdv3nbe8rs";
inline constexpr const char *RSMsgMultiPartPreamble = "This is a multi-part message in MIME format";
inline constexpr const char *RSMsgEncodingText = "Encoding text";
inline constexpr const char *RSMsgEncodingAttachment = "Encoding attachment";
inline constexpr const char *RSMsgTooManyParts = "Message refused: it has too many parts.";
inline constexpr const char *RSMsgTooManySections = "Message refused: it has too many multipart sections.";
} // namespace NetRes

// A received message with more parts or multipart sections than the client takes.
MIXDECK_EXCEPTION(ENetMessageTooComplex, ENetMessageException);

class TNetIMFDecoder;

// Decodes the body lines of a received message into the message's parts
// (emptied first): text parts line by line, attachments into files of
// their own named by StoragePath and deleted with the part. A message over
// maxParts parts or TNetIMFDecoder::MaxBoundaries - 1 multipart sections
// is refused with ENetMessageTooComplex. Unless Finish returned, the
// message is left with no parts.
class TNetMessagePartReader {
public:
    TNetMessagePartReader(TNetMessage &Msg, int maxParts);
    ~TNetMessagePartReader();
    TNetMessagePartReader(const TNetMessagePartReader &) = delete;
    TNetMessagePartReader &operator=(const TNetMessagePartReader &) = delete;
    // One body line, without its line end and with dot-stuffing undone.
    void Line(const std::string &line);
    void Finish();

private:
    class PartBuilder;
    TNetMessage &msg_;
    std::unique_ptr<TNetIMFDecoder> decoder_;
    std::unique_ptr<PartBuilder> builder_;
    bool finished_ = false;
};

class TNetMessageClient : public TNetTCPClient {
public:
    TNetMessageClient();
    ~TNetMessageClient() override;

    // Kept for the caller; no operation reads them.
    int LineLength = 79;
    std::string FoldText = "\t";

    // Lines up to "." into the message: with NoDecode raw into Body; else
    // through a TNetMessagePartReader into Parts (a message refused or
    // failed part-way closes the connection; the byte and line bounds of
    // Capture hold too).
    virtual void ReceiveBody(TNetMessage &Msg);
    int MaxMessageParts = 1000;
    // Lines up to the terminator line into RawHeaders, then ProcessHeaders.
    virtual void ReceiveHeader(TNetMessage &Msg, const std::string &terminator = std::string());
    virtual void Receive(TNetMessage &Msg);
    virtual void SendBody(TNetMessage &Msg, int attachments, int texts, int related);
    // Header, empty line, body. A message with exactly one text part raises
    // ENetTextInvalidCount before anything is written.
    virtual void SendMsg(TNetMessage &Msg);
    // Sets the multipart content type the parts call for and writes the
    // header lines; returns the counts of attachments, texts and related
    // attachments.
    virtual void SendHeader(TNetMessage &Msg, int &attachments, int &texts, int &related);

    // Raises ENetTextInvalidCount when the message has exactly one text part.
    static void CheckTextCount(const TNetMessage &Msg);
    // The "Content-Type" value a send states: the content type with the
    // character set joined ("text/plain" when only a character set is set).
    static std::string ContentTypeWithCharSet(const std::string &contentType, const std::string &charSet);

protected:
    // Each item split at CR LF, LF or CR; each piece dot-doubled when it
    // begins with "." and written with CR LF.
    void writeBodyLines(const TStringList &lines, bool jis);
    // Coded output (carrying its own line ends) written line by line, dot-doubled.
    void writeCoded(const std::string &coded);
    // Header lines as HeaderBlockLines gives them: each on one line.
    void writeHeaderLines(const TStringList &lines);
    void sendText(TNetText &text, bool jis);
    void sendAttachment(TNetAttachment &attachment);
};

// The pieces of a line split at CR LF, LF and CR.
std::vector<std::string> SplitLineBreaks(const std::string &line);
