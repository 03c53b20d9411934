#ifndef PROMPTACK_H
#define PROMPTACK_H

#include <string>

// Acknowledges what a request's connection has received at once, instead of when the kernel's
// delayed-ACK timer runs out (40 ms on Linux).
//
// A client that writes a request's header and its body in separate writes, without
// TCP_NODELAY, holds each small piece of the body back (Nagle) until what it sent before is
// acknowledged; on a kept-alive connection the kernel holds that ACK back in turn, hoping to
// send it with the answer, which waits for the body. Qt's QNetworkAccessManager is such a
// client: each form request and each upload lost about 40 ms this way, on a school's network as
// on loopback. cpp-httplib gives handlers neither the socket nor a hook on it, so the socket is
// found by its two addresses, once for each connection a thread answers. Elsewhere than on
// Linux these do nothing.
namespace PromptAck {

// In the thread that answers the connection, once a request's header has been read.
void headerRead(const std::string &peerAddress, int peerPort, int localPort);
// In the same thread, after each piece of that request's body has been read.
void bodyRead();

} // namespace PromptAck

#endif // PROMPTACK_H
