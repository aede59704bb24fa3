// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

namespace tg {

/// Bounds of one fetch: no check may hang the program or fill its memory.
struct FetchLimits {
  long connectTimeoutSeconds = 15;
  long totalTimeoutSeconds = 30;
  std::size_t maxReplyBytes = 1024 * 1024;
};

/// What a fetch brought back. `ok` only for a complete 2xx reply within the limits.
struct FetchResult {
  bool ok = false;
  long httpStatus = 0;  ///< 0 when no reply arrived
  std::string body;     ///< the reply bytes (empty unless ok)
  std::string error;    ///< why it failed, for the log (English, not for the user)
};

/// Lets another thread abort fetches at once: `cancel` wakes a fetch waiting on the network and
/// makes every later fetch fail without connecting. Thread-safe.
class FetchCancel {
 public:
  void cancel();
  [[nodiscard]] bool cancelled() const { return m_cancelled.load(); }

 private:
  friend class FetchRegistration;
  std::atomic<bool> m_cancelled{false};
  std::mutex m_lock;
  void* m_multi = nullptr;  // the CURLM* of the fetch in progress, if any
};

/// Fetches `address` with one HTTP(S) GET through libcurl: http and https only, redirects not
/// followed (a 3xx is a failure), no cookies, no credentials, bounded by `limits`; a reply larger
/// than `limits.maxReplyBytes` is refused. `cancel`, when given, aborts the transfer from another
/// thread. Needs `curl_global_init` (done at start-up). Safe on any thread.
[[nodiscard]] FetchResult fetchUrl(const std::string& address, const FetchLimits& limits,
                                   FetchCancel* cancel = nullptr);

}  // namespace tg
