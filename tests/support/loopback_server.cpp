// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tg::test {

LoopbackServer::LoopbackServer(Responder respond) : m_respond(std::move(respond)) {
  m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(m_listen, 8) != 0 ||
      ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(m_stop, O_CLOEXEC) != 0) {
    throw std::runtime_error("cannot start the loopback server");
  }
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
  (void)!::write(m_stop[1], "x", 1);
  m_thread.join();
  ::close(m_listen);
  ::close(m_stop[0]);
  ::close(m_stop[1]);
}

std::string LoopbackServer::base() const {
  return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

std::vector<std::string> LoopbackServer::requests() const {
  std::lock_guard lock(m_lock);
  return m_requests;
}

std::vector<std::string> LoopbackServer::headers() const {
  std::lock_guard lock(m_lock);
  return m_headers;
}

std::string LoopbackServer::reply(int status, const std::string& body,
                                  const std::string& extraHeaders) {
  return "HTTP/1.1 " + std::to_string(status) +
         " Status\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
         extraHeaders + "\r\n" + body;
}

void LoopbackServer::serve() {
  std::vector<int> held;  // connections that get no answer until the server stops
  for (;;) {
    pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) break;
    const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t got = ::read(client, buffer, sizeof buffer);
      if (got <= 0) break;
      request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string line = request.substr(0, request.find("\r\n"));
    {
      std::lock_guard lock(m_lock);
      m_requests.push_back(line);
      m_headers.push_back(request);
    }
    const std::string answer = m_respond(line);
    if (answer.empty()) {
      held.push_back(client);
      continue;
    }
    std::size_t sent = 0;
    while (sent < answer.size()) {
      const ssize_t wrote =
          ::send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
      if (wrote <= 0) break;  // the client gave up (a refused large reply)
      sent += static_cast<std::size_t>(wrote);
    }
    ::close(client);
  }
  for (int client : held) ::close(client);
}

}  // namespace tg::test
