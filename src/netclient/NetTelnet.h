#pragma once
// Telnet client: a TCP client whose read thread receives what the server
// sends, strips and answers telnet option negotiation (echo, terminal type,
// end of record; everything else refused) and hands each remaining block to
// OnDataAvailable on the interface thread, waiting until the handler returns.
// Inside that handler the interface thread may run a whole command dialogue
// on the connection (SendCmd, GetCmdResult, Capture): the read thread reads
// only outside it, so the socket always has one reader.
//
// A close the read thread notices is reported on the interface thread: the
// socket is closed there (status texts, OnDisconnected), then one empty block
// is delivered. Disconnect marks the running read thread as cancelled and
// shuts the socket down, which wakes a thread blocked in its wait; a thread
// never touches the client again once cancelled (each also carries the
// generation of the connection it serves). The client joins its finished
// threads on the next Connect and in its destructor; a client destroyed from
// inside its own data handler leaves that one thread to free itself.
// The client lives on the interface thread.
#include "netclient/NetTCPClient.h"
#include "netclient/NetThread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace NetRes {
inline constexpr const char *RSTELNETSRVOnDataAvailableIsNil = "OnDataAvailable event is nil.";
inline constexpr const char *RSTELNETCLIConnectError = "server not responding";
} // namespace NetRes

MIXDECK_EXCEPTION(ENetTelnetClientConnectError, ENetTelnetError);
MIXDECK_EXCEPTION(ENetTelnetServerOnDataAvailableIsNil, ENetTelnetError);

// 0 after the server offered to echo, 1 when local echo is called for, 2
// after the server asked for no echo.
enum TTelnetCommand { tncNoLocalEcho = 0, tncLocalEcho = 1, tncEcho = 2 };

namespace Telnet {
inline constexpr uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240, EOR = 239;
inline constexpr uint8_t OptEcho = 1, OptTermType = 24, OptEndOfRecord = 25;
inline constexpr uint8_t SubIs = 0, SubSend = 1;
} // namespace Telnet

class TNetTelnet;

class TNetTelnetReadThread : public TNetThread {
public:
    TNetTelnetReadThread(TNetTelnet *client, uint64_t generation);
    // From now on the thread leaves the client alone and ends.
    void Cancel() { cancelled_.store(true); }
    bool Cancelled() const { return cancelled_.load(); }
    uint64_t Generation() const { return generation_; }
    // True while the thread's block is being handed over on the interface
    // thread (read and written there only).
    bool InHandOver = false;
    // The last received block after negotiation.
    std::string Block;

protected:
    void Run() override;

private:
    TNetTelnet *client_;
    const uint64_t generation_;
    std::atomic<bool> cancelled_ {false};
};

class TNetTelnet : public TNetTCPClient {
    friend class TNetTelnetReadThread;

public:
    using TTnDataAvail = std::function<void(const std::string &Buffer)>;
    using TClientEvent = std::function<void()>;
    using TOnTelnetCommand = std::function<void(TNetComponent *Sender, TTelnetCommand Status)>;

    TNetTelnet();
    ~TNetTelnet() override;

    // Announced when the server asks for the terminal type ("dumb" when empty).
    std::string Terminal = "dumb";
    TTnDataAvail OnDataAvailable;
    TClientEvent OnConnect;
    TClientEvent OnDisconnect;
    TOnTelnetCommand OnTelnetCommand;
    // The most subnegotiation data kept; longer data is dropped and gets no answer.
    static constexpr size_t MaxSubNegotiation = 1024;

    void Connect() override;
    void Disconnect() override;
    // Closes the socket; on the read thread the close waits for the hand-over
    // to the interface thread.
    void DisconnectSocket() override;

    // The negotiation state machine over received bytes (kept across calls):
    // returns the data bytes, answers are written at once.
    std::string Negotiate(const std::string &received);
    void AnswerSubNegotiation(uint8_t option, const std::string &data);
    // Writes the text on the connection and empties it.
    virtual void SendReply(std::string &text);
    virtual void DoOnTelnetCommand(TTelnetCommand status);
    // Passes the read thread's block to OnDataAvailable (interface thread).
    virtual void DoOnDataAvailable();

    // Cancels every read thread, shuts the socket (no events) and waits for
    // the threads (one handing over right now is left to free itself). The
    // destructor calls it; a class derived from this one calls it first in
    // its own destructor, so that no thread runs into a half-destroyed object.
    void StopReadThreads();

    // The running read thread, or null.
    TNetTelnetReadThread *TelnetThread() const { return current_; }
    // The message the last read thread ended with (empty while it runs).
    std::string ThreadEndMessage() const;

private:
    enum class State { Data, Command, Will, Wont, Do, Dont, SubOption, SubData, SubIAC, Skip };
    void reply(uint8_t verb, uint8_t option);
    // Cancels the running thread (not waiting for it).
    void stopThread();
    // Joins and frees every finished or cancelled thread that is not handing
    // over right now.
    void reapThreads(bool all);

    State state_ = State::Data;
    uint8_t subOption_ = 0;
    std::string subData_;
    bool subOverflow_ = false;
    std::atomic<uint64_t> generation_ {0};
    TNetTelnetReadThread *current_ = nullptr;
    std::vector<TNetTelnetReadThread *> threads_;
    // The block being handed over (set by the hand-over on the interface thread).
    const std::string *deliverBlock_ = nullptr;
};
