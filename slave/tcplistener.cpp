#include "tcplistener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>

namespace simulator
{

namespace
{

std::string where(int port)
{
    return "127.0.0.1:" + std::to_string(port);
}

} // namespace

TcpListener::TcpListener(int port)
{
    m_socket.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!m_socket.valid())
        throw std::runtime_error(std::string("cannot create a TCP socket: ") +
                                 std::strerror(errno));
    const int on = 1;
    ::setsockopt(m_socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_socket.get(), 4) != 0) {
        const int error = errno;
        throw std::runtime_error("cannot listen on " + where(port) + ": " + std::strerror(error) +
                                 (error == EADDRINUSE ? "; choose another --tcp port, or 0"
                                  : error == EACCES   ? "; ports below 1024 need privileges"
                                                      : ""));
    }
    socklen_t length = sizeof address;
    ::getsockname(m_socket.get(), reinterpret_cast<sockaddr *>(&address), &length);
    m_port = ntohs(address.sin_port);
}

console::UniqueFd TcpListener::accept(std::string &peer)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    console::UniqueFd client(::accept4(m_socket.get(), reinterpret_cast<sockaddr *>(&address),
                                       &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!client.valid())
        return client;
    const int on = 1;
    ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    peer = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
    return client;
}

} // namespace simulator
