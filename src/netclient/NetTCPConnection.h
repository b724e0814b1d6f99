#pragma once
// The blocking, buffered TCP connection every client stands on: line reading
// with a chosen terminator, numbered replies (three digits, a dash for
// continuation) and "+OK"/"-ERR" replies, capture of a block up to a
// delimiter line, stream and integer transfer and writing of text, buffers,
// streams and files. Waits run through the socket handle, so the anti-freeze
// keeps the interface alive while the interface thread waits.
#include "netclient/NetComponent.h"
#include "netclient/NetIntercept.h"
#include "netclient/NetSocketHandle.h"
#include "netclient/NetStream.h"
#include "platform/Classes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The connection's byte buffers: a memory stream whose front can be removed.
// Removing bytes from the front only moves a start mark (the rest moves down
// once the removed part outweighs it), so taking many short lines out of a
// large buffer does not move the buffer once per line. The stream operations,
// Memory and DataString see the buffered bytes only.
class TNetBuffer : public TNetMemoryStream {
public:
    // More than the size raises ENetNotEnoughDataInBuffer.
    void RemoveBytes(int64_t count);
    void Append(const void *data, int64_t count);
    // The buffered bytes, oldest first (valid until the next change).
    std::string_view View() const { return std::string_view(data_).substr(head_); }
    int64_t Size() const override { return int64_t(data_.size() - head_); }
    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    void SetSize(int64_t size) override;
    void Clear();
    char *Memory();
    const std::string &DataString();

private:
    void compact();
    size_t head_ = 0;
};

using TNetReplyCodes = std::vector<int16_t>;

class TNetTCPConnection : public TNetComponent, public TNetInterceptUser {
public:
    TNetTCPConnection();
    ~TNetTCPConnection() override;

    // ---- fields and properties ----
    // Every received byte is masked with 0x7F before anything else sees it.
    bool ASCIIFilter = false;
    TNetSocketHandle &Binding() { return *binding_; }
    TNetBuffer &InputBuffer() { return inputBuffer_; }
    // The peer's close was seen (or the socket closed locally, maybe by
    // another thread).
    std::atomic<bool> ClosedGracefully {false};
    // The lines of the last reply read by GetResponse, each trimmed.
    TStringList CmdResultDetails;
    TNetConnectionIntercept *Intercept() const { return intercept_; }
    void SetIntercept(TNetConnectionIntercept *intercept);
    bool InterceptEnabled() const { return interceptEnabled_; }
    // True without an intercept raises ENetInterceptPropIsNil.
    void SetInterceptEnabled(bool on);
    std::function<void(TNetTCPConnection *Sender)> OnDisconnected;
    // The last ReadLn ended because its wait ran out (or the peer closed with
    // a partial line buffered).
    bool ReadLnTimedOut = false;
    int32_t RecvBufferSize() const { return int32_t(recvBuffer_.Size()); }
    void SetRecvBufferSize(int32_t size);
    int16_t ResultNo = 0;
    int32_t SendBufferSize = 32768;

    // Time limit in ms (-2: none) of one whole reply: a numbered reply, a
    // captured block, a line read for itself, a buffer or stream read (and,
    // over HTTP, the status line, the headers and the body together). It
    // bounds the reply from its first wait (for a command: from the moment
    // the command is sent) to its last byte, however the peer spreads the
    // bytes; when it runs out the connection is closed and
    // ENetSocketError 10060 "Connection timed out." is raised. A send that
    // the peer does not take within it ends the same way.
    int ReadTimeout = -2;
    // Input bounds: a line without its terminator longer than MaxLineLength
    // bytes, a reply of more than MaxReplyLines lines or a capture of more
    // than MaxCaptureLines lines closes the connection and raises
    // ENetInputTooLong. 0 switches a bound off.
    int32_t MaxLineLength = 65536;
    int32_t MaxReplyLines = 10000;
    int32_t MaxCaptureLines = 100000;
    // Byte budget: the most that one reply (GetResponse), one Capture, one
    // AllData, one ReadStream or one ReadBuffer may take from the peer. Every
    // line a reply or capture keeps counts NetLineCost bytes on top of its
    // own (what keeping it costs), blank lines skipped count too. A stream
    // length over the budget is refused before anything is allocated. Going
    // over closes the connection (the next exchange starts clean) and raises
    // ENetInputTooLong.
    int64_t MaxReadBytes = 4 * 1024 * 1024;
    static constexpr int64_t NetLineCost = 64;

    // ---- reading ----
    // One wait (time-out ms, -2: none) and at most one receive; returns the count.
    virtual int ReadFromStack(bool raiseIfDisconnected = true, int timeout = -2, bool useBuffer = true,
                              TNetBuffer *destination = nullptr);
    // The next line without its terminator (LF when empty; then one CR before
    // it goes too). The time-out bounds the whole line, not each wait.
    virtual std::string ReadLn(const std::string &terminator = std::string(), int timeout = -2);
    std::string ReadLnSkipEmpty();
    std::string CurrentReadBuffer();
    virtual std::string AllData();
    int64_t InputBufferSize() const { return inputBuffer_.Size(); }
    virtual std::string ExtractXBytesFromBuffer(int64_t count);
    virtual void RemoveFromBuffer(int64_t count);
    void ReadBuffer(void *destination, int64_t count);
    int32_t ReadInteger(bool convert = true);
    // count bytes (-1: an unsigned 32-bit count in network order comes
    // first) or everything until the peer closes, appended at the
    // destination's position; the destination grows as bytes arrive.
    void ReadStream(TNetStream *destination, int64_t count = -1, bool readUntilDisconnect = false);
    // Lines up to the delimiter line into the list (null: discarded).
    void Capture(TStringList *destination, const std::string &delimiter = ".", bool unstuffDots = true);
    // Lines up to the delimiter line into the stream, each followed by CR LF.
    void Capture(TNetStream *destination, const std::string &delimiter = ".", bool unstuffDots = true);

    // ---- reply deadlines ----
    // One reply under way: from its start, ReadTimeout bounds all its reads
    // and the writes that send its command. A reply inside another keeps the
    // outer one's deadline, so a caller that reads a command's reply line
    // and then its list holds one for both: the whole reply ends within
    // ReadTimeout of the command, however the peer spreads its bytes.
    class ReplyDeadline {
    public:
        explicit ReplyDeadline(TNetTCPConnection &c);
        ~ReplyDeadline();
        ReplyDeadline(const ReplyDeadline &) = delete;
        ReplyDeadline &operator=(const ReplyDeadline &) = delete;

    private:
        TNetTCPConnection &c_;
        bool outermost_;
    };

    // ---- replies and commands ----
    virtual int16_t GetResponse(const TNetReplyCodes &allowed);
    virtual int16_t CheckResponse(int16_t code, const TNetReplyCodes &allowed);
    [[noreturn]] virtual void RaiseReplyError();
    template <class E>
    [[noreturn]] void RaiseForLastReply() { throw E(GetCmdResult()); }
    std::string GetCmdResult() const;
    virtual int16_t SendCmdCodes(const std::string &command, const TNetReplyCodes &allowed);
    int16_t SendCmd(const std::string &command, int16_t expectedCode = -1);

    // ---- writing ----
    void WriteBuffer(const void *source, int64_t count, bool writeNow = false);
    virtual void Write(const std::string &text);
    virtual void WriteLn(const std::string &text = std::string());
    void WriteStrings(const TStringList &list);
    void WriteInteger(int32_t value, bool convert = true);
    virtual void WriteStream(TNetStream *source, bool all = true, bool writeByteCount = false);
    virtual int64_t WriteFile(const std::string &fileName, bool enableTransmitFile = false);

    // ---- connection state ----
    virtual bool Connected();
    virtual void CheckForDisconnect(bool raiseIfDisconnected = true, bool ignoreBuffer = false);
    virtual void CheckForGracefulDisconnect(bool raiseIfDisconnected = true);
    virtual void Disconnect();
    virtual void DisconnectSocket();
    virtual void DoOnDisconnected();
    virtual void ResetConnection();

    void InterceptDestroyed(TNetConnectionIntercept *intercept) override;

protected:
    // A line read with ReadTimeout; a real time-out closes and raises.
    std::string readLnLimited();
    [[noreturn]] void raiseTimedOut();
    // Closes the connection and raises ENetInputTooLong for the byte budget:
    // bytes that came, or (announced not negative) a length the peer
    // announced before sending it.
    [[noreturn]] void raiseOverBudget(int64_t announced = -1);
    // What one reply, capture or transfer has taken against MaxReadBytes.
    class ReadBudget;
    // How long the next wait for bytes may be: ReadTimeout, or what is left
    // of the reply under way (0 once it is over); -2 without a limit.
    int readWait() const;
    // Null store: lines are discarded. Each kept line is charged lineCost
    // against the byte budget beyond its bytes.
    void captureLines(const std::function<void(const std::string &)> &store, const std::string &delimiter,
                      bool unstuffDots, int64_t lineCost);

private:
    std::unique_ptr<TNetSocketHandle> binding_;
    TNetBuffer inputBuffer_;
    TNetBuffer recvBuffer_;
    TNetConnectionIntercept *intercept_ = nullptr;
    bool interceptEnabled_ = false;
    // The last ReadLn got nothing because the connection had closed.
    bool lastReadClosed_ = false;
    // Bytes taken out of the input buffer so far.
    int64_t consumed_ = 0;
    // The budget of the reply or capture under way; null when none.
    ReadBudget *budget_ = nullptr;
    // The deadline of the reply under way, when one is.
    bool hasReplyDeadline_ = false;
    TNetClock::time_point replyDeadline_ {};
    // Charges extra bytes (not yet taken from the buffer) against the
    // budget under way, or against MaxReadBytes alone when none is.
    void checkBudget(int64_t extra);
};
