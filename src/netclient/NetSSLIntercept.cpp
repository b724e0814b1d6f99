#include "netclient/NetSSLIntercept.h"

TNetSSLConnectionIntercept::TNetSSLConnectionIntercept() = default;
