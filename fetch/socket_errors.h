#pragma once
// Socket failures in the form results have always shown: the Windows Sockets
// error number and its text, so that a result reads the same on every system.
#include <string>

namespace fetch {

// Windows Sockets numbers that the fetch uses by name.
inline constexpr int kWsaHostNotFound = 11001;
inline constexpr int kWsaConnectionRefused = 10061;
inline constexpr int kWsaConnectionReset = 10054;
inline constexpr int kWsaConnectionTimedOut = 10060;

// "Socket Error # <number>" CR LF "<text>" for a Windows Sockets number.
std::string SocketErrorMessage(int wsaNumber);

// The Windows Sockets number for a POSIX errno value (ECONNREFUSED -> 10061,
// ENETUNREACH -> 10051...), or 0 when the value has no counterpart.
int WsaNumberFromErrno(int error);

}  // namespace fetch
