#pragma once
// Decoder of whole RFC 822 / MIME messages: passes the message text through,
// marks its structure with notifications and decodes each part's body with
// the decoder its transfer encoding names.
#include "netclient/NetCoder.h"
#include "platform/Classes.h"

#include <memory>
#include <string>

// Notification numbers of the message decoder.
enum : int {
    imfFileName = 5,
    imfHeaderEnd = 21,
    imfReset = 22,
    imfHeaderLine = 23,
    imfBoundary = 24,
    imfClosingBoundary = 25,
    imfInputEnd = 26,
};

class TNetIMFDecoder : public TNetCoder {
public:
    TNetIMFDecoder();
    ~TNetIMFDecoder() override;
    const char *ClassName() const override { return "TNetIMFDecoder"; }
    void Reset() override;

    // From the first header block; the transfer encoding starts as "8bit".
    const std::string &MessageContentType() const { return messageType_; }
    const std::string &MessageTransferEncoding() const { return messageEncoding_; }
    // Boundaries found so far, newest first; past MaxBoundaries the oldest
    // is forgotten.
    const TStringList &Boundaries() const { return boundaries_; }
    static constexpr int MaxBoundaries = 16;

protected:
    virtual void CreateInnerDecoder();
    virtual void ProcessHeaderBlock(bool last);
    virtual void ProcessBody(bool last);
    virtual void ProcessAfterBoundary(bool last);
    virtual void ProcessHeaderLine();
    virtual void SwitchInnerDecoder();
    void CodeBlock() override;
    void CodeRemainder() override;

private:
    enum class St { Header, Body, AfterBoundary };
    void run(bool last);
    void fileName(const std::string &text, const std::string &key);
    void passToInner(const std::string &text);
    void flushRaw();

    St state_ = St::Header;
    std::string work_;          // received text not yet handled
    std::string contentType_, transferEncoding_;
    std::string messageType_, messageEncoding_ = "8bit";
    bool firstBlockDone_ = false;
    std::string lastType_, lastEncoding_ = "7bit";
    std::string headerLine_;    // the header line being assembled
    bool haveHeaderLine_ = false;
    std::string raw_;           // header text not yet passed on
    std::string boundaryLine_;  // the boundary just found, as it stood
    TStringList boundaries_;
    std::unique_ptr<TNetCoder> inner_;
    int depth_ = 0;             // nesting of message decoders inside each other
};
