#pragma once
// Placeholder intercept for a secure-socket layer; the program has none.
#include "netclient/NetIntercept.h"

class TNetSSLConnectionIntercept : public TNetConnectionIntercept {
public:
    TNetSSLConnectionIntercept();
};
