// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tg::test {

/// A real HTTP server on 127.0.0.1 at a free port, answering each request with the bytes that
/// `respond` returns for its request line. An empty answer means "never answer": the connection
/// stays open without a byte until the server stops. One connection at a time is enough here.
class LoopbackServer {
 public:
  using Responder = std::function<std::string(const std::string& requestLine)>;
  explicit LoopbackServer(Responder respond);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  /// "http://127.0.0.1:PORT/".
  [[nodiscard]] std::string base() const;
  /// The request lines received so far ("GET /checkversion.php?v=... HTTP/1.1").
  [[nodiscard]] std::vector<std::string> requests() const;
  /// The full header blocks received so far.
  [[nodiscard]] std::vector<std::string> headers() const;

  /// A complete HTTP/1.1 response with `status` and `body`.
  [[nodiscard]] static std::string reply(int status, const std::string& body,
                                         const std::string& extraHeaders = "");

 private:
  void serve();

  Responder m_respond;
  int m_listen = -1;
  int m_stop[2] = {-1, -1};
  int m_port = 0;
  mutable std::mutex m_lock;
  std::vector<std::string> m_requests;
  std::vector<std::string> m_headers;
  std::thread m_thread;
};

}  // namespace tg::test
