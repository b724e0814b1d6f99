#include "netclient/NetIntercept.h"

#include <algorithm>

TNetConnectionIntercept::TNetConnectionIntercept() = default;

TNetConnectionIntercept::~TNetConnectionIntercept()
{
    std::vector<TNetInterceptUser *> users;
    users.swap(users_);
    for (TNetInterceptUser *u : users)
        u->InterceptDestroyed(this);
}

void TNetConnectionIntercept::Connect(TNetSocketHandle *binding)
{
    binding_ = binding;
    if (OnConnect)
        OnConnect(this);
}

void TNetConnectionIntercept::DataReceived(void *, int) {}
void TNetConnectionIntercept::DataSent(const void *, int) {}
void TNetConnectionIntercept::Disconnect() { binding_ = nullptr; }
int TNetConnectionIntercept::Recv(void *, int) { return 0; }
int TNetConnectionIntercept::Send(const void *, int) { return 0; }

void TNetConnectionIntercept::AddUser(TNetInterceptUser *user)
{
    if (std::find(users_.begin(), users_.end(), user) == users_.end())
        users_.push_back(user);
}

void TNetConnectionIntercept::RemoveUser(TNetInterceptUser *user)
{
    users_.erase(std::remove(users_.begin(), users_.end(), user), users_.end());
}
