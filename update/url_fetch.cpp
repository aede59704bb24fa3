// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/url_fetch.h"

#include <memory>

#include <curl/curl.h>

namespace tg {

namespace {

struct EasyCloser {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiCloser {
  void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};

struct ReplyBuffer {
  std::string bytes;
  std::size_t limit = 0;
  bool tooLarge = false;
};

std::size_t appendReply(char* data, std::size_t size, std::size_t count, void* user) {
  auto& reply = *static_cast<ReplyBuffer*>(user);
  const std::size_t length = size * count;
  if (reply.bytes.size() + length > reply.limit) {
    reply.tooLarge = true;
    return 0;  // anything but `length` makes libcurl abort the transfer
  }
  reply.bytes.append(data, length);
  return length;
}

}  // namespace

/// Publishes the multi handle of a running fetch to its `FetchCancel` for the fetch's lifetime,
/// so that `cancel` can wake the wait.
class FetchRegistration {
 public:
  FetchRegistration(FetchCancel* cancel, CURLM* multi) : m_cancel(cancel) {
    if (m_cancel == nullptr) return;
    std::lock_guard lock(m_cancel->m_lock);
    m_cancel->m_multi = multi;
  }
  ~FetchRegistration() {
    if (m_cancel == nullptr) return;
    std::lock_guard lock(m_cancel->m_lock);
    m_cancel->m_multi = nullptr;
  }
  FetchRegistration(const FetchRegistration&) = delete;
  FetchRegistration& operator=(const FetchRegistration&) = delete;

 private:
  FetchCancel* m_cancel;
};

void FetchCancel::cancel() {
  m_cancelled = true;
  std::lock_guard lock(m_lock);
  if (m_multi != nullptr) curl_multi_wakeup(static_cast<CURLM*>(m_multi));
}

FetchResult fetchUrl(const std::string& address, const FetchLimits& limits, FetchCancel* cancel) {
  FetchResult result;
  if (cancel != nullptr && cancel->cancelled()) {
    result.error = "cancelled";
    return result;
  }
  std::unique_ptr<CURL, EasyCloser> easy(curl_easy_init());
  std::unique_ptr<CURLM, MultiCloser> multi(curl_multi_init());
  if (!easy || !multi) {
    result.error = "libcurl could not create a handle";
    return result;
  }
  ReplyBuffer reply;
  reply.limit = limits.maxReplyBytes;
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, address.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
  curl_easy_setopt(e, CURLOPT_TIMEOUT, limits.totalTimeoutSeconds);
  curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxReplyBytes));
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, appendReply);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(e, CURLOPT_USERAGENT, "Tesselograph update check");
  if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) {
    result.error = "libcurl could not start the transfer";
    return result;
  }

  CURLcode transfer = CURLE_OK;
  bool finished = false;
  {
    FetchRegistration registration(cancel, multi.get());
    while (!finished) {
      if (cancel != nullptr && cancel->cancelled()) break;
      int running = 0;
      if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE) {
          transfer = message->data.result;
          finished = true;
        }
      }
      if (finished || running == 0) break;
      // Woken early by data, by the time-outs libcurl keeps, or by `cancel`.
      if (curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr) != CURLM_OK) break;
    }
  }
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &result.httpStatus);
  curl_multi_remove_handle(multi.get(), e);

  if (!finished) {
    result.error = cancel != nullptr && cancel->cancelled() ? "cancelled" : "transfer interrupted";
  } else if (reply.tooLarge || transfer == CURLE_FILESIZE_EXCEEDED) {
    result.error = "the reply is larger than the limit";
  } else if (transfer != CURLE_OK) {
    result.error = curl_easy_strerror(transfer);
  } else if (result.httpStatus < 200 || result.httpStatus > 299) {
    // libcurl counts a 404 or a redirect it does not follow as a successful transfer.
    result.error = "HTTP status " + std::to_string(result.httpStatus);
  } else {
    result.ok = true;
    result.body = std::move(reply.bytes);
  }
  return result;
}

}  // namespace tg
