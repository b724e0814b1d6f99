#pragma once
// Interception of a connection's traffic: told of connect, disconnect and
// every block of data, and able to take over sending and receiving.
#include "netclient/NetBaseComponent.h"

#include <functional>
#include <vector>

class TNetSocketHandle;
class TNetConnectionIntercept;

// Told when an intercept it refers to goes away (free notification).
class TNetInterceptUser {
public:
    virtual ~TNetInterceptUser() = default;
    virtual void InterceptDestroyed(TNetConnectionIntercept *intercept) = 0;
};

class TNetConnectionIntercept : public TNetBaseComponent {
public:
    TNetConnectionIntercept();
    ~TNetConnectionIntercept() override;

    std::function<void(TNetConnectionIntercept *Sender)> OnConnect;
    bool RecvHandling = false;
    bool SendHandling = false;
    TNetSocketHandle *Binding() const { return binding_; }

    // Remembers the socket handle, then fires OnConnect.
    virtual void Connect(TNetSocketHandle *binding);
    virtual void DataReceived(void *buffer, int count);
    virtual void DataSent(const void *buffer, int count);
    // Forgets the socket handle.
    virtual void Disconnect();
    // Return the count received / sent (0 here).
    virtual int Recv(void *buffer, int length);
    virtual int Send(const void *buffer, int length);

    void AddUser(TNetInterceptUser *user);
    void RemoveUser(TNetInterceptUser *user);

private:
    TNetSocketHandle *binding_ = nullptr;
    std::vector<TNetInterceptUser *> users_;
};
