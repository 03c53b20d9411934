#include "promptack.h"

#ifdef __linux__

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdlib>

namespace {

// The socket of the connection this thread answers; -1 until found.
thread_local int connectionSocket = -1;

bool portAndAddress(const sockaddr_storage &address, int *port, std::string *text)
{
    char buffer[INET6_ADDRSTRLEN] = {};
    const void *bytes = nullptr;
    if (address.ss_family == AF_INET) {
        const auto &v4 = reinterpret_cast<const sockaddr_in &>(address);
        *port = ntohs(v4.sin_port);
        bytes = &v4.sin_addr;
    } else if (address.ss_family == AF_INET6) {
        const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(address);
        *port = ntohs(v6.sin6_port);
        bytes = &v6.sin6_addr;
    } else {
        return false;
    }
    if (!inet_ntop(address.ss_family, bytes, buffer, sizeof buffer))
        return false;
    if (text)
        *text = buffer;
    return true;
}

bool isConnection(int fd, const std::string &peerAddress, int peerPort, int localPort)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    int port = -1;
    std::string text;
    if (getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        !portAndAddress(address, &port, &text) || port != peerPort || text != peerAddress)
        return false;
    length = sizeof address;
    return getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0 &&
           portAndAddress(address, &port, nullptr) && port == localPort;
}

int findConnection(const std::string &peerAddress, int peerPort, int localPort)
{
    DIR *open = opendir("/proc/self/fd");
    if (!open)
        return -1;
    int found = -1;
    while (const dirent *entry = readdir(open)) {
        const int fd = std::atoi(entry->d_name);
        if (fd > 2 && fd != dirfd(open) && isConnection(fd, peerAddress, peerPort, localPort)) {
            found = fd;
            break;
        }
    }
    closedir(open);
    return found;
}

// Sends the ACK now; the kernel returns to delaying later ACKs by itself.
void acknowledge(int fd)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

} // namespace

void PromptAck::headerRead(const std::string &peerAddress, int peerPort, int localPort)
{
    if (connectionSocket < 0 || !isConnection(connectionSocket, peerAddress, peerPort, localPort))
        connectionSocket = findConnection(peerAddress, peerPort, localPort);
    if (connectionSocket >= 0)
        acknowledge(connectionSocket);
}

void PromptAck::bodyRead()
{
    if (connectionSocket >= 0)
        acknowledge(connectionSocket);
}

#else

void PromptAck::headerRead(const std::string &, int, int) {}
void PromptAck::bodyRead() {}

#endif
