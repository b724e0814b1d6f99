#include "netclient/NetSocks.h"

void TSocksInfo::Assign(const TSocksInfo &other)
{
    Authentication = other.Authentication;
    Host = other.Host;
    Password = other.Password;
    Port = other.Port;
    UserID = other.UserID;
    Version = other.Version;
}
