#pragma once
// Exceptions and message texts of the networking library. Every failure of a
// networking component is an ENetException (or a descendant); the texts are
// kept in one table so that they stay exactly as the program shows them.
#include "platform/SysUtils.h"

#include <cstdint>
#include <string>

// ---- message texts --------------------------------------------------------------
namespace NetRes {
// Status texts of the components.
inline constexpr const char *RSStatusResolving = "Resolving hostname %s.";
inline constexpr const char *RSStatusConnecting = "Connecting to %s.";
inline constexpr const char *RSStatusConnected = "Connected.";
inline constexpr const char *RSStatusDisconnecting = "Disconnecting from %s.";
inline constexpr const char *RSStatusDisconnected = "Not connected.";
inline constexpr const char *RSStatusText = "%s";

// Socket stack.
inline constexpr const char *RSStackError = "Socket Error # %d\r\n%s";
inline constexpr const char *RSWinsockStack = "Winsock stack";
inline constexpr const char *RSStackCanNotLoadWinsock = "%s could not be loaded.";
inline constexpr const char *RSStackInitializationFailed = "Winsock Initialization Error.";
inline constexpr const char *RSStackSetSizeExceeded = "Set Size Exceeded.";
inline constexpr const char *RSCannotAllocateSocket = "Cannot allocate socket.";
inline constexpr const char *RSInvalidServiceName = "%s is not a valid service.";
inline constexpr const char *RSCouldNotBindSocket = "Could not bind socket. Address and port are already in use.";

// Connection.
inline constexpr const char *RSConnectionClosedGracefully = "Connection Closed Gracefully.";
inline constexpr const char *RSAlreadyConnected = "Already connected.";
inline constexpr const char *RSObjectTypeNotSupported = "Object type not supported.";
inline constexpr const char *RSNotEnoughDataInBuffer = "Not enough data in buffer.";
inline constexpr const char *RSInterceptPropIsNil = "InterceptEnabled cannot be set to true when Intercept is nil.";
inline constexpr const char *RSInterceptPropInvalid = "Intercept value is not valid";
inline constexpr const char *RSNoDataToRead = "No data to read.";
// Input bounds of the connection (hostile peers).
inline constexpr const char *RSLineTooLong = "The server sent a line of more than %d bytes; the connection was closed.";
inline constexpr const char *RSReplyTooLong = "The server sent more than %d lines; the connection was closed.";
inline constexpr const char *RSReadBudgetExceeded = "The server sent more than %d bytes; the connection was closed.";
inline constexpr const char *RSReadBudgetAnnounced =
    "The server announced %d bytes, more than the %d it may send; the connection was closed.";

// Globals.
inline constexpr const char *RSFailedTimeZoneInfo = "Failed attempting to retrieve time zone information.";
inline constexpr const char *RSOnlyOneAntiFreeze = "Only one TNetAntiFreeze can exist per application.";
inline constexpr const char *RSChunkStarted = "Chunk Started";

// SOCKS.
inline constexpr const char *RSSocksRequestFailed = "Request rejected or failed.";
inline constexpr const char *RSSocksRequestServerFailed = "Request rejected because SOCKS server cannot connect.";
inline constexpr const char *RSSocksRequestIdentFailed = "Request rejected because the client program and identd report different user-ids.";
inline constexpr const char *RSSocksUnknownError = "Unknown socks error.";
inline constexpr const char *RSSocksServerRespondError = "Socks server did not respond.";
inline constexpr const char *RSSocksAuthMethodError = "Invalid socks authentication method.";
inline constexpr const char *RSSocksAuthError = "Authentication error to socks server.";
inline constexpr const char *RSSocksServerGeneralError = "General SOCKS server failure.";
inline constexpr const char *RSSocksServerPermissionError = "Connection not allowed by ruleset.";
inline constexpr const char *RSSocksServerNetUnreachableError = "Network unreachable.";
inline constexpr const char *RSSocksServerHostUnreachableError = "Host unreachable.";
inline constexpr const char *RSSocksServerConnectionRefusedError = "Connection refused.";
inline constexpr const char *RSSocksServerTTLExpiredError = "TTL expired.";
inline constexpr const char *RSSocksServerCommandError = "Command not supported.";
inline constexpr const char *RSSocksServerAddressError = "Address type not supported.";
// A SOCKS 5 field carries its length in one byte.
inline constexpr const char *RSSocksFieldTooLong = "Host name, user name or password too long for the SOCKS 5 proxy.";
} // namespace NetRes

// ---- exception tree ---------------------------------------------------------------
MIXDECK_EXCEPTION(ENetException, Exception);
// Base of the exceptions that mark normal conditions.
MIXDECK_EXCEPTION(ENetSilentException, ENetException);
MIXDECK_EXCEPTION(ENetConnClosedGracefully, ENetSilentException);
MIXDECK_EXCEPTION(ENetAlreadyConnected, ENetException);
MIXDECK_EXCEPTION(ENetInvalidServiceName, ENetException);
MIXDECK_EXCEPTION(ENetInvalidSocket, ENetException);
MIXDECK_EXCEPTION(ENetFailedToRetreiveTimeZoneInfo, ENetException);
MIXDECK_EXCEPTION(ENetMoreThanOneTIdAntiFreeze, ENetException);
MIXDECK_EXCEPTION(ENetStackCanNotLoadWinsock, ENetException);
MIXDECK_EXCEPTION(ENetStackError, ENetException);
MIXDECK_EXCEPTION(ENetStackInitializationFailed, ENetStackError);
MIXDECK_EXCEPTION(ENetStackSetSizeExceeded, ENetStackError);
MIXDECK_EXCEPTION(ENetSocketHandleError, ENetException);
MIXDECK_EXCEPTION(ENetCouldNotBindSocket, ENetSocketHandleError);
MIXDECK_EXCEPTION(ENetTCPConnectionError, ENetException);
MIXDECK_EXCEPTION(ENetObjectTypeNotSupported, ENetTCPConnectionError);
MIXDECK_EXCEPTION(ENetNotEnoughDataInBuffer, ENetTCPConnectionError);
MIXDECK_EXCEPTION(ENetInterceptPropIsNil, ENetTCPConnectionError);
MIXDECK_EXCEPTION(ENetInterceptPropInvalid, ENetTCPConnectionError);
MIXDECK_EXCEPTION(ENetNoDataToRead, ENetTCPConnectionError);
// A line or reply longer than the connection accepts.
MIXDECK_EXCEPTION(ENetInputTooLong, ENetTCPConnectionError);
MIXDECK_EXCEPTION(ENetSocksError, ENetException);
MIXDECK_EXCEPTION(ENetTelnetError, ENetException);

// SOCKS failures.
MIXDECK_EXCEPTION(ENetSocksRequestFailed, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksRequestServerFailed, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksRequestIdentFailed, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksUnknownError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksServerRespondError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksAuthMethodError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksAuthError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksServerGeneralError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksServerPermissionError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksServerNetUnreachableError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksServerHostUnreachableError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksServerConnectionRefusedError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksServerTTLExpiredError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksServerCommandError, ENetSocksError);
MIXDECK_EXCEPTION(ENetSocksServerAddressError, ENetSocksError);
// A field too long for its one-byte length (raised before anything is sent).
MIXDECK_EXCEPTION(ENetSocksFieldTooLong, ENetSocksError);

// A reply with a code the caller did not accept: the code and the reply line.
class ENetProtocolReplyError : public ENetException {
public:
    ENetProtocolReplyError(int32_t code, std::string message)
        : ENetException(std::move(message)), ReplyErrorCode(code) {}
    const char *ClassName() const override { return "ENetProtocolReplyError"; }
    int32_t ReplyErrorCode;
};

// A socket failure: the socket error number and its text.
class ENetSocketError : public ENetException {
public:
    ENetSocketError(int32_t code, std::string message)
        : ENetException(std::move(message)), SocketErrorCode(code) {}
    const char *ClassName() const override { return "ENetSocketError"; }
    int32_t SocketErrorCode;
};
