#include "netclient/NetTCPConnection.h"

#include "netclient/NetAntiFreezeBase.h"
#include "netclient/NetGlobal.h"
#include "platform/Rtl.h"

#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <cstring>
#include <sys/socket.h>

namespace {

// The first three characters of a reply line as a decimal number (an
// optional sign and digits only); 0 when they are not one.
int16_t replyCode(const std::string &line)
{
    std::string t = Rtl::Copy(line, 1, 3);
    size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        neg = t[i++] == '-';
    if (i >= t.size())
        return 0;
    int v = 0;
    for (; i < t.size(); ++i) {
        if (!IsNumeric(t[i]))
            return 0;
        v = v * 10 + (t[i] - '0');
    }
    return int16_t(neg ? -v : v);
}

} // namespace

// ---- TNetBuffer ----------------------------------------------------------------------
void TNetBuffer::compact()
{
    if (head_ == 0)
        return;
    data_.erase(0, head_);
    head_ = 0;
}

void TNetBuffer::RemoveBytes(int64_t count)
{
    if (count > Size())
        throw ENetNotEnoughDataInBuffer(NetRes::RSNotEnoughDataInBuffer);
    if (count <= 0)
        return;
    if (count == Size()) {
        Clear();
        return;
    }
    head_ += size_t(count);
    position_ = std::max<int64_t>(0, position_ - count);
    // Move the rest down only once the removed part outweighs it: each byte
    // moves a bounded number of times however small the pieces.
    if (head_ >= 4096 && head_ >= data_.size() / 2)
        compact();
}

void TNetBuffer::Append(const void *data, int64_t count)
{
    if (count > 0)
        data_.append(static_cast<const char *>(data), size_t(count));
}

int64_t TNetBuffer::Read(void *buffer, int64_t count)
{
    compact();
    return TNetMemoryStream::Read(buffer, count);
}

int64_t TNetBuffer::Write(const void *buffer, int64_t count)
{
    compact();
    return TNetMemoryStream::Write(buffer, count);
}

void TNetBuffer::SetSize(int64_t size)
{
    compact();
    TNetMemoryStream::SetSize(size);
}

void TNetBuffer::Clear()
{
    TNetMemoryStream::Clear();
    head_ = 0;
}

char *TNetBuffer::Memory()
{
    compact();
    return data_.data();
}

const std::string &TNetBuffer::DataString()
{
    compact();
    return data_;
}

// ---- byte budget -------------------------------------------------------------------------
class TNetTCPConnection::ReadBudget {
public:
    explicit ReadBudget(TNetTCPConnection &c) : c_(c), start_(c.consumed_), outer_(c.budget_) { c.budget_ = this; }
    ~ReadBudget() { c_.budget_ = outer_; }
    ReadBudget(const ReadBudget &) = delete;
    ReadBudget &operator=(const ReadBudget &) = delete;
    // Taken from the buffer since the start, plus what was charged.
    int64_t used() const { return c_.consumed_ - start_ + charged_; }
    // A line kept in a list: its bookkeeping counts too.
    void keepLine(int64_t cost = NetLineCost)
    {
        charged_ += cost;
        c_.checkBudget(0);
    }

private:
    TNetTCPConnection &c_;
    int64_t start_;
    int64_t charged_ = 0;
    ReadBudget *outer_;
};

void TNetTCPConnection::checkBudget(int64_t extra)
{
    const int64_t used = (budget_ ? budget_->used() : 0) + extra;
    if (used > MaxReadBytes)
        raiseOverBudget();
}

void TNetTCPConnection::raiseOverBudget(int64_t announced)
{
    DisconnectSocket();
    if (announced >= 0)
        throw ENetInputTooLong(Rtl::Format(NetRes::RSReadBudgetAnnounced, {announced, MaxReadBytes}));
    throw ENetInputTooLong(Rtl::Format(NetRes::RSReadBudgetExceeded, {MaxReadBytes}));
}

// ---- reply deadlines ----------------------------------------------------------------------
TNetTCPConnection::ReplyDeadline::ReplyDeadline(TNetTCPConnection &c) : c_(c), outermost_(!c.hasReplyDeadline_)
{
    if (outermost_ && c.ReadTimeout != -2) {
        c.replyDeadline_ = NetDeadline(c.ReadTimeout);
        c.hasReplyDeadline_ = true;
    }
}

TNetTCPConnection::ReplyDeadline::~ReplyDeadline()
{
    if (outermost_)
        c_.hasReplyDeadline_ = false;
}

int TNetTCPConnection::readWait() const
{
    if (ReadTimeout == -2)
        return -2;
    return hasReplyDeadline_ ? NetMillisecondsLeft(replyDeadline_) : ReadTimeout;
}

// ---- TNetTCPConnection -------------------------------------------------------------------
TNetTCPConnection::TNetTCPConnection() : binding_(std::make_unique<TNetSocketHandle>())
{
    recvBuffer_.SetSize(32768);
}

TNetTCPConnection::~TNetTCPConnection()
{
    if (intercept_)
        intercept_->RemoveUser(this);
    // The binding closes its socket without firing any event.
    binding_.reset();
}

void TNetTCPConnection::SetIntercept(TNetConnectionIntercept *intercept)
{
    if (intercept_)
        intercept_->RemoveUser(this);
    intercept_ = intercept;
    if (intercept_)
        intercept_->AddUser(this);
    else
        interceptEnabled_ = false;
}

void TNetTCPConnection::SetInterceptEnabled(bool on)
{
    if (on && !intercept_)
        throw ENetInterceptPropIsNil(NetRes::RSInterceptPropIsNil);
    interceptEnabled_ = on;
}

void TNetTCPConnection::InterceptDestroyed(TNetConnectionIntercept *intercept)
{
    if (intercept == intercept_) {
        intercept_ = nullptr;
        interceptEnabled_ = false;
    }
}

void TNetTCPConnection::SetRecvBufferSize(int32_t size) { recvBuffer_.SetSize(std::max<int32_t>(1, size)); }

// ---- reading ---------------------------------------------------------------------------
int TNetTCPConnection::ReadFromStack(bool raiseIfDisconnected, int timeout, bool useBuffer, TNetBuffer *destination)
{
    CheckForDisconnect(raiseIfDisconnected, false);
    if (!Connected())
        return 0;
    TNetBuffer *dest = destination ? destination : &recvBuffer_;
    if (dest->Size() < 1)
        dest->SetSize(1);
    if (!binding_->Readable(timeout))
        return 0;
    int count;
    if (interceptEnabled_ && intercept_ && intercept_->RecvHandling)
        count = intercept_->Recv(dest->Memory(), int(std::min<int64_t>(dest->Size(), INT_MAX)));
    else
        count = binding_->Recv(dest->Memory(), int(std::min<int64_t>(dest->Size(), INT_MAX)), 0);
    ClosedGracefully = count == 0;
    if (count != 0) {
        if (count == -1 && GStack()->CheckForSocketError(count, {WSAESHUTDOWN})) {
            count = 0;
            if (binding_->HandleAllocated)
                DisconnectSocket();
            if (inputBuffer_.Size() == 0)
                GStack()->RaiseSocketError(WSAESHUTDOWN);
        }
        if (ASCIIFilter)
            for (int i = 0; i < count; ++i)
                dest->Memory()[i] = char(dest->Memory()[i] & 0x7F);
    }
    if (count > 0) {
        if (useBuffer)
            inputBuffer_.Append(dest->Memory(), count);
        else
            DoWork(wmRead, count);
    }
    if (interceptEnabled_ && intercept_)
        intercept_->DataReceived(dest->Memory(), count);
    CheckForDisconnect(raiseIfDisconnected, false);
    return count;
}

std::string TNetTCPConnection::ReadLn(const std::string &terminator, int timeout)
{
    const std::string term = terminator.empty() ? std::string("\n") : terminator;
    ReadLnTimedOut = false;
    lastReadClosed_ = false;
    // One deadline for the whole line: a peer that trickles it cannot hold
    // the call longer than the time-out.
    const bool limited = timeout != -2;
    const auto deadline = NetDeadline(timeout);
    size_t found;
    // Where the search goes on: bytes already searched are not searched again.
    size_t from = 0;
    for (;;) {
        const std::string_view buffered = inputBuffer_.View();
        found = buffered.find(term, from);
        if (found != std::string_view::npos)
            break;
        from = buffered.size() >= term.size() ? buffered.size() - term.size() + 1 : 0;
        if (MaxLineLength > 0 && inputBuffer_.Size() > MaxLineLength) {
            DisconnectSocket();
            throw ENetInputTooLong(Rtl::Format(NetRes::RSLineTooLong, {MaxLineLength}));
        }
        checkBudget(inputBuffer_.Size());
        CheckForDisconnect(true, true);
        if (ReadFromStack(true, limited ? NetMillisecondsLeft(deadline) : -2, true) == 0) {
            ReadLnTimedOut = true;
            lastReadClosed_ = ClosedGracefully || !binding_->HandleAllocated;
            return std::string();
        }
    }
    std::string line = ExtractXBytesFromBuffer(int64_t(found + term.size()));
    line.resize(found);
    if (terminator.empty() && !line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void TNetTCPConnection::raiseTimedOut()
{
    DisconnectSocket();
    GStack()->RaiseSocketError(WSAETIMEDOUT);
}

std::string TNetTCPConnection::readLnLimited()
{
    std::string line = ReadLn(std::string(), readWait());
    if (ReadLnTimedOut && !lastReadClosed_)
        raiseTimedOut();
    checkBudget(0);
    return line;
}

std::string TNetTCPConnection::ReadLnSkipEmpty()
{
    for (;;) {
        std::string line = Rtl::Trim(readLnLimited());
        if (!line.empty())
            return line;
    }
}

std::string TNetTCPConnection::CurrentReadBuffer()
{
    if (!Connected())
        return std::string();
    ReadFromStack(false, -2, true);
    return ExtractXBytesFromBuffer(inputBuffer_.Size());
}

std::string TNetTCPConnection::AllData()
{
    std::string all;
    BeginWork(wmRead, 0);
    try {
        while (Connected()) {
            // One receive at a time: the whole is checked before it grows.
            std::string more = CurrentReadBuffer();
            if (int64_t(all.size() + more.size()) > MaxReadBytes)
                raiseOverBudget();
            all += more;
        }
    } catch (...) {
        EndWork(wmRead);
        throw;
    }
    EndWork(wmRead);
    return all;
}

std::string TNetTCPConnection::ExtractXBytesFromBuffer(int64_t count)
{
    if (count > inputBuffer_.Size())
        throw ENetNotEnoughDataInBuffer(NetRes::RSNotEnoughDataInBuffer);
    std::string s(inputBuffer_.View().substr(0, size_t(std::max<int64_t>(0, count))));
    RemoveFromBuffer(int64_t(s.size()));
    return s;
}

void TNetTCPConnection::RemoveFromBuffer(int64_t count)
{
    inputBuffer_.RemoveBytes(count);
    if (count > 0)
        consumed_ += count;
    DoWork(wmRead, int32_t(count));
}

void TNetTCPConnection::ReadBuffer(void *destination, int64_t count)
{
    if (count <= 0 || !destination)
        return;
    if (count > MaxReadBytes)
        raiseOverBudget();
    ReplyDeadline deadline(*this);
    while (inputBuffer_.Size() < count) {
        if (ReadFromStack(true, readWait(), true) == 0) {
            // Nothing came: either the peer closed with too few bytes buffered
            // (which would otherwise repeat forever) or the time ran out.
            if (ClosedGracefully || !binding_->HandleAllocated)
                throw ENetConnClosedGracefully(NetRes::RSConnectionClosedGracefully);
            raiseTimedOut();
        }
    }
    std::memcpy(destination, inputBuffer_.View().data(), size_t(count));
    RemoveFromBuffer(count);
}

int32_t TNetTCPConnection::ReadInteger(bool convert)
{
    uint32_t v = 0;
    ReadBuffer(&v, 4);
    return int32_t(convert ? ntohl(v) : v);
}

void TNetTCPConnection::ReadStream(TNetStream *destination, int64_t count, bool readUntilDisconnect)
{
    // The announced length is an unsigned 32-bit count (a peer's 2 GB must
    // not turn into a negative one).
    ReplyDeadline deadline(*this);
    if (count == -1 && !readUntilDisconnect)
        count = int64_t(uint32_t(ReadInteger(true)));
    // Refused before anything is allocated; the destination then grows as
    // bytes arrive, never ahead of them.
    if (!readUntilDisconnect && count > MaxReadBytes)
        raiseOverBudget(count);
    if (readUntilDisconnect) {
        count = INT32_MAX;
        BeginWork(wmRead, 0);
    } else {
        BeginWork(wmRead, int32_t(std::min<int64_t>(count, INT32_MAX)));
    }
    auto trim = [destination] {
        if (destination->Size() > destination->Position())
            destination->SetSize(destination->Position());
    };
    try {
        int64_t received = 0;
        int64_t n = std::min<int64_t>(count, inputBuffer_.Size());
        if (n > 0) {
            if (n > MaxReadBytes)
                raiseOverBudget();
            destination->Write(inputBuffer_.View().data(), n);
            RemoveFromBuffer(n);
            count -= n;
            received += n;
        }
        TNetBuffer area;
        while (count > 0 && Connected()) {
            area.SetSize(std::min<int64_t>(count, RecvBufferSize()));
            int got = ReadFromStack(!readUntilDisconnect, readWait(), false, &area);
            if (got > 0) {
                if (received + got > MaxReadBytes)
                    raiseOverBudget();
                destination->Write(area.Memory(), got);
                count -= got;
                received += got;
            } else if (ReadTimeout != -2 && binding_->HandleAllocated && !ClosedGracefully) {
                raiseTimedOut();
            }
        }
    } catch (...) {
        EndWork(wmRead);
        trim();
        throw;
    }
    EndWork(wmRead);
    trim();
}

void TNetTCPConnection::captureLines(const std::function<void(const std::string &)> &store,
                                     const std::string &delimiter, bool unstuffDots, int64_t lineCost)
{
    BeginWork(wmRead, 0);
    try {
        ReplyDeadline deadline(*this);
        ReadBudget budget(*this);
        int32_t lines = 0;
        for (;;) {
            std::string line = readLnLimited();
            if (ReadLnTimedOut)
                continue;  // peer closed with a partial line: the next read raises
            if (line == delimiter)
                break;
            if (unstuffDots && line.size() >= 2 && line[0] == '.' && line[1] == '.')
                line.erase(0, 1);
            if (MaxCaptureLines > 0 && ++lines > MaxCaptureLines) {
                DisconnectSocket();
                throw ENetInputTooLong(Rtl::Format(NetRes::RSReplyTooLong, {MaxCaptureLines}));
            }
            if (store) {
                budget.keepLine(lineCost);
                store(line);
            }
        }
    } catch (...) {
        EndWork(wmRead);
        throw;
    }
    EndWork(wmRead);
}

void TNetTCPConnection::Capture(TStringList *destination, const std::string &delimiter, bool unstuffDots)
{
    std::function<void(const std::string &)> store;
    if (destination)
        store = [destination](const std::string &line) { destination->Add(line); };
    captureLines(store, delimiter, unstuffDots, NetLineCost);
}

void TNetTCPConnection::Capture(TNetStream *destination, const std::string &delimiter, bool unstuffDots)
{
    std::function<void(const std::string &)> store;
    if (destination)
        store = [destination](const std::string &line) {
            destination->Write(line.data(), int64_t(line.size()));
            destination->Write("\r\n", 2);
        };
    captureLines(store, delimiter, unstuffDots, 0);
}

// ---- replies and commands ---------------------------------------------------------------
int16_t TNetTCPConnection::GetResponse(const TNetReplyCodes &allowed)
{
    CmdResultDetails.Clear();
    ReplyDeadline deadline(*this);
    ReadBudget budget(*this);
    std::string line = ReadLnSkipEmpty();
    budget.keepLine();
    CmdResultDetails.Add(line);
    if (line.size() > 3 && line[3] == '-') {
        const std::string marker = Rtl::Copy(line, 1, 3) + " ";
        do {
            line = ReadLnSkipEmpty();
            budget.keepLine();
            CmdResultDetails.Add(line);
            if (MaxReplyLines > 0 && CmdResultDetails.Count() > MaxReplyLines) {
                DisconnectSocket();
                throw ENetInputTooLong(Rtl::Format(NetRes::RSReplyTooLong, {MaxReplyLines}));
            }
        } while (!(line.size() < 4 || TextIsSame(Rtl::Copy(line, 1, 4), marker)));
    }
    const std::string last = GetCmdResult();
    int16_t code;
    if (TextIsSame(Rtl::Copy(last, 1, 3), "+OK"))
        code = 1;
    else if (TextIsSame(Rtl::Copy(last, 1, 4), "-ERR"))
        code = 0;
    else
        code = replyCode(last);
    ResultNo = code;
    return CheckResponse(code, allowed);
}

int16_t TNetTCPConnection::CheckResponse(int16_t code, const TNetReplyCodes &allowed)
{
    if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), code) == allowed.end())
        RaiseReplyError();
    return code;
}

void TNetTCPConnection::RaiseReplyError() { throw ENetProtocolReplyError(ResultNo, GetCmdResult()); }

std::string TNetTCPConnection::GetCmdResult() const
{
    return CmdResultDetails.Count() == 0 ? std::string() : CmdResultDetails[CmdResultDetails.Count() - 1];
}

int16_t TNetTCPConnection::SendCmdCodes(const std::string &command, const TNetReplyCodes &allowed)
{
    // The reply's time runs from the moment the command goes out.
    ReplyDeadline deadline(*this);
    if (!(command.size() == 1 && command[0] == '\0'))
        WriteLn(command);
    return GetResponse(allowed);
}

int16_t TNetTCPConnection::SendCmd(const std::string &command, int16_t expectedCode)
{
    if (expectedCode == -1)
        return SendCmdCodes(command, {});
    return SendCmdCodes(command, {expectedCode});
}

// ---- writing ---------------------------------------------------------------------------
void TNetTCPConnection::WriteBuffer(const void *source, int64_t count, bool)
{
    if (count <= 0 || !source)
        return;
    CheckForDisconnect(true, true);
    const char *p = static_cast<const char *>(source);
    int64_t pos = 0;
    // A peer that stops taking bytes holds the write no longer than the
    // time-out, or than what is left of the reply the write belongs to.
    const auto deadline = hasReplyDeadline_ ? replyDeadline_ : NetDeadline(ReadTimeout);
    while (pos < count) {
        const int chunk = int(std::min<int64_t>(count - pos, INT_MAX));
        int sent;
        if (interceptEnabled_ && intercept_ && intercept_->SendHandling) {
            sent = intercept_->Send(p + pos, chunk);
        } else {
            sent = binding_->Send(p + pos, chunk, MSG_DONTWAIT);
            if (sent == -1 && GStack()->LastError() == WSAEWOULDBLOCK) {
                // The peer's window is full: wait until it takes more, with
                // the windows kept alive meanwhile.
                if (!binding_->Writable(ReadTimeout == -2 ? -2 : NetMillisecondsLeft(deadline)))
                    raiseTimedOut();
                continue;
            }
            if (ReadTimeout == -2)
                TNetAntiFreezeBase::DoProcess(false, false);
            else
                binding_->PumpUntil(deadline, false);
        }
        ClosedGracefully = sent == 0;
        CheckForDisconnect(true, false);
        if (sent == -1 && GStack()->CheckForSocketError(sent, {WSAESHUTDOWN})) {
            // EPIPE and the like: the peer is gone.
            DisconnectSocket();
            GStack()->RaiseSocketError(WSAESHUTDOWN);
        }
        if (sent <= 0)
            break;
        DoWork(wmWrite, sent);
        if (interceptEnabled_ && intercept_)
            intercept_->DataSent(p + pos, sent);
        pos += sent;
    }
}

void TNetTCPConnection::Write(const std::string &text)
{
    if (!text.empty())
        WriteBuffer(text.data(), int64_t(text.size()));
}

void TNetTCPConnection::WriteLn(const std::string &text) { Write(text + "\r\n"); }

void TNetTCPConnection::WriteStrings(const TStringList &list)
{
    for (int i = 0; i < list.Count(); ++i)
        WriteLn(list[i]);
}

void TNetTCPConnection::WriteInteger(int32_t value, bool convert)
{
    uint32_t v = convert ? htonl(uint32_t(value)) : uint32_t(value);
    WriteBuffer(&v, 4);
}

void TNetTCPConnection::WriteStream(TNetStream *source, bool all, bool writeByteCount)
{
    if (all)
        source->SetPosition(0);
    const int64_t size = source->Size() - source->Position();
    if (writeByteCount)
        WriteInteger(int32_t(size), true);
    BeginWork(wmWrite, int32_t(std::min<int64_t>(size, INT32_MAX)));
    try {
        std::vector<char> block(size_t(std::max<int32_t>(1, SendBufferSize)));
        for (;;) {
            int64_t n = std::min<int64_t>(source->Size() - source->Position(), int64_t(block.size()));
            if (n <= 0)
                break;
            int64_t got = source->Read(block.data(), n);
            if (got == 0)
                throw ENetNoDataToRead(NetRes::RSNoDataToRead);
            WriteBuffer(block.data(), got);
        }
    } catch (...) {
        EndWork(wmWrite);
        throw;
    }
    EndWork(wmWrite);
}

int64_t TNetTCPConnection::WriteFile(const std::string &fileName, bool)
{
    // There is no file-transmission procedure on this system: always a stream.
    TNetFileStream f(fileName, TNetFileStream::fmOpenRead);
    WriteStream(&f, true, false);
    return f.Size();
}

// ---- connection state ------------------------------------------------------------------
bool TNetTCPConnection::Connected()
{
    CheckForDisconnect(false, false);
    return binding_->HandleAllocated;
}

void TNetTCPConnection::CheckForDisconnect(bool raiseIfDisconnected, bool ignoreBuffer)
{
    if (ClosedGracefully || !binding_->HandleAllocated) {
        if (binding_->HandleAllocated)
            DisconnectSocket();
        if (raiseIfDisconnected && (inputBuffer_.Size() == 0 || ignoreBuffer))
            throw ENetConnClosedGracefully(NetRes::RSConnectionClosedGracefully);
    }
}

void TNetTCPConnection::CheckForGracefulDisconnect(bool raiseIfDisconnected)
{
    ReadFromStack(raiseIfDisconnected, 1, true);
}

void TNetTCPConnection::Disconnect() { DisconnectSocket(); }

void TNetTCPConnection::DisconnectSocket()
{
    // Another thread may close at the same time (a reader that saw the
    // peer's close): only the one that takes the socket reports the close.
    std::string peer;
    if (binding_->BeginClose(peer)) {
        try {
            DoStatus(StatusDisconnecting, peer);
        } catch (...) {
            // A status handler that raises still leaves the socket closed.
            binding_->CloseSocket(true);
            ClosedGracefully = true;
            throw;
        }
        binding_->CloseSocket(true);
        ClosedGracefully = true;
        DoStatus(StatusDisconnected, peer);
        DoOnDisconnected();
    }
    if (interceptEnabled_ && intercept_)
        intercept_->Disconnect();
}

void TNetTCPConnection::DoOnDisconnected()
{
    if (OnDisconnected)
        OnDisconnected(this);
}

void TNetTCPConnection::ResetConnection()
{
    binding_->Reset(true);
    inputBuffer_.Clear();
    ClosedGracefully = false;
}
