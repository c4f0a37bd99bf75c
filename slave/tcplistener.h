#pragma once

#include "console/uniquefd.h"

#include <string>

namespace simulator
{

// A TCP socket listening on 127.0.0.1, for RTU frames over TCP.
class TcpListener
{
public:
    // Listens on port, 0 to 65535; 0 lets the system choose a free one. Throws
    // std::runtime_error with a text for the operator when it cannot listen.
    explicit TcpListener(int port);

    int fd() const { return m_socket.get(); }
    int port() const { return m_port; } // the port it listens on
    // A connection waiting to be taken, non-blocking, with Nagle's delay off so that every
    // byte goes out when written; invalid when none is waiting. peer: "127.0.0.1:40312".
    console::UniqueFd accept(std::string &peer);

private:
    console::UniqueFd m_socket;
    int m_port = 0;
};

} // namespace simulator
