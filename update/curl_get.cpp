#include "update/curl_get.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace cirrodex {

namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

CurlOutcome OutcomeOf(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return CurlOutcome::Done;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return CurlOutcome::NameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return CurlOutcome::CannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return CurlOutcome::TimedOut;
    case CURLE_OUT_OF_MEMORY:
      return CurlOutcome::OutOfMemory;
    case CURLE_URL_MALFORMAT:
      return CurlOutcome::BadUrl;
    default:
      return CurlOutcome::Failed;
  }
}

// The connections left open for reuse, shared by every request that asks for it. libcurl locks
// them through these callbacks, so requests in several threads may share them.
std::mutex g_shareMutex;

void LockShare(CURL*, curl_lock_data, curl_lock_access, void*) { g_shareMutex.lock(); }
void UnlockShare(CURL*, curl_lock_data, void*) { g_shareMutex.unlock(); }

CURLSH* ConnectionShare() {
  static CURLSH* const share = [] {
    CURLSH* s = curl_share_init();
    if (s == nullptr) return s;
    curl_share_setopt(s, CURLSHOPT_LOCKFUNC, &LockShare);
    curl_share_setopt(s, CURLSHOPT_UNLOCKFUNC, &UnlockShare);
    if (curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT) != CURLSHE_OK) {
      curl_share_cleanup(s);
      return static_cast<CURLSH*>(nullptr);
    }
    return s;
  }();
  return share;
}

}  // namespace

size_t CurlGet::HeaderCallback(char* data, size_t size, size_t count, void* self) {
  const size_t n = size * count;
  return static_cast<CurlGet*>(self)->OnHeaderLine(std::string_view(data, n)) ? n : 0;
}

size_t CurlGet::BodyCallback(char* data, size_t size, size_t count, void* self) {
  const size_t n = size * count;
  return static_cast<CurlGet*>(self)->OnBody(std::string_view(data, n)) ? n : 0;
}

int CurlGet::ProgressCallback(void* self, int64_t, int64_t, int64_t, int64_t) {
  return static_cast<CurlGet*>(self)->OnProgress() ? 0 : 1;
}

CurlOutcome CurlGet::Run(const CurlRequest& request) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  error_.clear();
  finalStatus_ = 0;

  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) {
    error_ = "the HTTP client could not start";
    return CurlOutcome::NoClient;
  }
  std::unique_ptr<curl_slist, ListDeleter> headers;
  for (const std::string& line : request.headers) {
    curl_slist* next = curl_slist_append(headers.get(), line.c_str());
    if (next == nullptr) {
      error_ = "the HTTP client could not start";
      return CurlOutcome::NoClient;
    }
    static_cast<void>(headers.release());
    headers.reset(next);
  }

  CURL* h = easy.get();
  char error[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, request.protocols.c_str());
  if (request.pathAsIs) curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  if (request.reuseConnection) {
    if (CURLSH* share = ConnectionShare()) curl_easy_setopt(h, CURLOPT_SHARE, share);
  }
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // time-outs without signals, from any thread
  if (!request.userAgent.empty()) {
    curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.c_str());
  }
  if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  if (request.anyEncoding) curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  if (request.connectTimeoutMs > 0) {
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
  }
  if (request.totalTimeoutMs > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, request.totalTimeoutMs);
  if (request.bufferSize > 0) curl_easy_setopt(h, CURLOPT_BUFFERSIZE, request.bufferSize);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CurlGet::HeaderCallback);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurlGet::BodyCallback);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CurlGet::ProgressCallback);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);

  handle_ = h;
  const CURLcode code = curl_easy_perform(h);
  finalStatus_ = Status();
  handle_ = nullptr;
  if (code != CURLE_OK) error_ = error[0] != '\0' ? error : curl_easy_strerror(code);
  return OutcomeOf(code);
}

long CurlGet::Status() const {
  if (handle_ == nullptr) return finalStatus_;
  long status = 0;
  curl_easy_getinfo(static_cast<CURL*>(handle_), CURLINFO_RESPONSE_CODE, &status);
  return status;
}

bool CurlGet::Connected() const {
  if (handle_ == nullptr) return false;
  curl_off_t connectUs = 0;
  long port = 0;
  curl_easy_getinfo(static_cast<CURL*>(handle_), CURLINFO_CONNECT_TIME_T, &connectUs);
  curl_easy_getinfo(static_cast<CURL*>(handle_), CURLINFO_PRIMARY_PORT, &port);
  return connectUs > 0 || port > 0;
}

int64_t CurlGet::Received() const {
  if (handle_ == nullptr) return 0;
  curl_off_t received = 0;
  curl_easy_getinfo(static_cast<CURL*>(handle_), CURLINFO_SIZE_DOWNLOAD_T, &received);
  return received;
}

}  // namespace cirrodex
