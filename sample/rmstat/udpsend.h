// UDP transport of the statistics library. Never blocks longer than the given timeout.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

// An IPv4 address for host:port. A numeric address resolves at once; a name is looked up
// on a helper thread that is waited for at most timeoutMs (an unanswered lookup then
// finishes on its own while the caller goes on).
bool ResolveIPv4(const std::string& host, int port, sockaddr_in* out, unsigned timeoutMs);

// One datagram; false when it could not be handed to the network.
bool SendDatagram(const sockaddr_in& to, const std::string& payload);
