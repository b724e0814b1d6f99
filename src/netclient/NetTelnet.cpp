#include "netclient/NetTelnet.h"

#include <algorithm>

using namespace Telnet;

namespace {
// The client whose read thread runs on this thread: its socket closes are
// left to the hand-over on the interface thread.
thread_local const TNetTelnet *tlsReadingFor = nullptr;

struct ReadingMark {
    explicit ReadingMark(const TNetTelnet *c) { tlsReadingFor = c; }
    ~ReadingMark() { tlsReadingFor = nullptr; }
};
} // namespace

// ---- read thread -------------------------------------------------------------------

TNetTelnetReadThread::TNetTelnetReadThread(TNetTelnet *client, uint64_t generation)
    : TNetThread(false), client_(client), generation_(generation)
{
}

void TNetTelnetReadThread::Run()
{
    auto leave = [this] {
        Terminate();
        SetStopped(true);
    };
    if (Cancelled())
        return leave();
    std::string block;
    bool closed;
    try {
        ReadingMark mark(client_);
        block = client_->Negotiate(client_->CurrentReadBuffer());
        closed = client_->ClosedGracefully || !client_->Binding().HandleAllocated;
    } catch (...) {
        // A failed receive or answer ends the thread; a socket it leaves
        // open is closed on the interface thread as a peer's close would be.
        if (!Cancelled() && client_->Binding().HandleAllocated)
            Synchronize([this] {
                if (!Cancelled() && client_->generation_.load() == generation_)
                    client_->DisconnectSocket();
            });
        throw;
    }
    if (Cancelled())
        return leave();
    Synchronize([this, &block, closed] {
        // The client may have moved on (Disconnect, a new Connect) or gone
        // while this call waited in the queue.
        if (Cancelled() || client_->generation_.load() != generation_)
            return;
        InHandOver = true;
        struct Reset {
            bool &flag;
            ~Reset() { flag = false; }
        } reset {InHandOver};
        Block = block;
        if (closed)
            client_->DisconnectSocket();
        if (Cancelled())
            return;
        client_->DoOnDataAvailable();
    });
    if (Cancelled())
        return leave();
    client_->CheckForDisconnect(true, false);
}

// ---- client ------------------------------------------------------------------------

TNetTelnet::TNetTelnet() { Port = 23; }

TNetTelnet::~TNetTelnet() { StopReadThreads(); }

void TNetTelnet::StopReadThreads()
{
    ++generation_;
    current_ = nullptr;
    for (TNetTelnetReadThread *t : threads_)
        t->Cancel();
    // Wakes every wait on the socket; no events fire any more.
    Binding().CloseSocket(true);
    reapThreads(true);
}

void TNetTelnet::stopThread()
{
    if (current_) {
        current_->Cancel();
        current_->Terminate();
        current_ = nullptr;
    }
    ++generation_;
}

void TNetTelnet::reapThreads(bool all)
{
    std::vector<TNetTelnetReadThread *> keep;
    for (TNetTelnetReadThread *t : threads_) {
        if (t->InHandOver) {
            // Waits for the interface thread, which is inside its hand-over
            // now: it ends (and frees itself) once the handler returns.
            if (all)
                t->FreeOnTerminate = true;
            else
                keep.push_back(t);
            continue;
        }
        if (t != current_ || t->Finished() || all) {
            t->WaitFor();
            delete t;
        } else {
            keep.push_back(t);
        }
    }
    threads_.swap(keep);
}

void TNetTelnet::Connect()
{
    if (OnConnect)
        OnConnect();
    // Threads of earlier connections are cancelled and their sockets shut:
    // none may still be inside a read when the buffers are reset.
    if (current_ && current_->Finished())
        stopThread();
    reapThreads(false);
    try {
        TNetTCPClient::Connect();
    } catch (const ENetSocketError &) {
        throw ENetTelnetClientConnectError(NetRes::RSTELNETCLIConnectError);
    }
    if (Connected()) {
        stopThread();
        current_ = TNetThread::Create<TNetTelnetReadThread>(this, generation_.load());
        threads_.push_back(current_);
    }
}

void TNetTelnet::Disconnect()
{
    stopThread();
    TNetTCPClient::Disconnect();
    if (OnDisconnect)
        OnDisconnect();
}

void TNetTelnet::DisconnectSocket()
{
    if (tlsReadingFor == this)
        return;
    TNetTCPClient::DisconnectSocket();
}

std::string TNetTelnet::ThreadEndMessage() const
{
    return current_ && current_->Finished() ? current_->TerminatingException() : std::string();
}

void TNetTelnet::DoOnDataAvailable()
{
    if (!OnDataAvailable)
        throw ENetTelnetServerOnDataAvailableIsNil(NetRes::RSTELNETSRVOnDataAvailableIsNil);
    // The handler may destroy this client: nothing of it is touched after.
    const TTnDataAvail handler = OnDataAvailable;
    const std::string block = current_ ? current_->Block : std::string();
    handler(block);
}

void TNetTelnet::DoOnTelnetCommand(TTelnetCommand status)
{
    if (OnTelnetCommand)
        OnTelnetCommand(this, status);
}

void TNetTelnet::SendReply(std::string &text)
{
    Write(text);
    text.clear();
}

void TNetTelnet::reply(uint8_t verb, uint8_t option)
{
    std::string r {char(IAC), char(verb), char(option)};
    SendReply(r);
}

std::string TNetTelnet::Negotiate(const std::string &received)
{
    std::string out;
    for (unsigned char b : received) {
        switch (state_) {
        case State::Data:
            if (b == IAC)
                state_ = State::Command;
            else
                out += char(b);
            break;
        case State::Command:
            state_ = State::Data;
            switch (b) {
            case IAC: out += char(IAC); break;
            case WILL: state_ = State::Will; break;
            case WONT: state_ = State::Wont; break;
            case DO: state_ = State::Do; break;
            case DONT: state_ = State::Dont; break;
            case SB: state_ = State::SubOption; break;
            default: break;  // EOR, SE..GA and anything else: ignored
            }
            break;
        case State::Will:
            state_ = State::Data;
            if (b == OptEcho) {
                DoOnTelnetCommand(tncNoLocalEcho);
                reply(DO, b);
            } else if (b == OptEndOfRecord) {
                reply(DO, b);
            } else {
                reply(DONT, b);
            }
            break;
        case State::Wont:
            state_ = State::Data;
            if (b == OptEcho)
                DoOnTelnetCommand(tncLocalEcho);
            reply(DONT, b);
            break;
        case State::Do:
            state_ = State::Data;
            if (b == OptEcho) {
                DoOnTelnetCommand(tncLocalEcho);
                reply(WILL, b);
            } else if (b == OptTermType) {
                reply(WILL, b);
            } else {
                reply(WONT, b);
            }
            break;
        case State::Dont:
            state_ = State::Data;
            if (b == OptEcho)
                DoOnTelnetCommand(tncEcho);
            reply(WONT, b);
            break;
        case State::SubOption:
            if (b == IAC) {
                state_ = State::Skip;
            } else {
                subOption_ = b;
                subData_.clear();
                subOverflow_ = false;
                state_ = State::SubData;
            }
            break;
        case State::Skip:
            state_ = State::Data;
            break;
        case State::SubData:
        case State::SubIAC: {
            int data = -1;
            if (state_ == State::SubData) {
                if (b == IAC)
                    state_ = State::SubIAC;
                else
                    data = b;
            } else if (b == SE || b == SB) {
                if (!subOverflow_)
                    AnswerSubNegotiation(subOption_, subData_);
                subData_.clear();
                state_ = b == SE ? State::Data : State::SubOption;
            } else if (b == IAC) {
                data = IAC;
                state_ = State::SubData;
            } else {
                subData_.clear();
                state_ = State::Data;
            }
            if (data >= 0) {
                // A peer that never ends its subnegotiation costs no more
                // than the cap.
                if (subData_.size() < MaxSubNegotiation)
                    subData_ += char(data);
                else
                    subOverflow_ = true;
            }
            break;
        }
        }
    }
    return out;
}

void TNetTelnet::AnswerSubNegotiation(uint8_t option, const std::string &data)
{
    if (option != OptTermType || data != std::string(1, char(SubSend)))
        return;
    if (Terminal.empty())
        Terminal = "dumb";
    std::string r {char(IAC), char(SB), char(OptTermType), char(SubIs)};
    r += Terminal;
    r += char(IAC);
    r += char(SE);
    SendReply(r);
}
