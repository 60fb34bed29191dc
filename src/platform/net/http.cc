// Each call makes its own easy handle, owned by CurlHandle, so calls on different
// threads share nothing but libcurl's global state, which is set up once. Signals are
// off (NOSIGNAL) so that time-outs work off the main thread. The body is collected in
// memory up to kMaxHttpBodyBytes; the write callback never lets an exception out into
// libcurl.

#include "platform/net/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace ovra::platform {

namespace {

struct CurlHandleDeleter {
  void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlHandleDeleter>;

// libcurl's global set-up is not thread-safe; do it once, first.
bool initCurlOnce() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result == CURLE_OK;
}

struct BodySink {
  std::string body;
  bool tooLarge = false;
  bool outOfMemory = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* userdata) noexcept {
  auto* sink = static_cast<BodySink*>(userdata);
  const size_t n = size * count;
  if (n > kMaxHttpBodyBytes - sink->body.size()) {
    sink->tooLarge = true;
    return 0;  // makes libcurl stop with a write error
  }
  try {
    sink->body.append(data, n);
  } catch (...) {
    sink->outOfMemory = true;
    return 0;
  }
  return n;
}

std::string curlErrorText(CURLcode code, const char* detail) {
  std::string text = curl_easy_strerror(code);
  if (detail != nullptr && detail[0] != '\0') {
    text += ": ";
    text += detail;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  }
  return text;
}

HttpErrorKind kindOf(CURLcode code) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_TOO_MANY_REDIRECTS:
      return HttpErrorKind::kBadAddress;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return HttpErrorKind::kResolve;
    case CURLE_COULDNT_CONNECT:
      return HttpErrorKind::kRefused;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpErrorKind::kTimeout;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return HttpErrorKind::kTls;
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FAILED_INIT:
    case CURLE_NOT_BUILT_IN:
    case CURLE_UNKNOWN_OPTION:
      return HttpErrorKind::kInternal;
    default:
      return HttpErrorKind::kNetwork;
  }
}

HttpResult failure(HttpErrorKind kind, std::string text) {
  HttpResult result;
  result.errorKind = kind;
  result.error = std::move(text);
  return result;
}

// The MIME type of a Content-Type value: "Text/HTML; charset=UTF-8" gives "text/html".
std::string mimeTypeOf(const std::string& contentType) {
  std::string type = contentType.substr(0, contentType.find(';'));
  auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
  type.erase(type.begin(), std::find_if_not(type.begin(), type.end(), isSpace));
  type.erase(std::find_if_not(type.rbegin(), type.rend(), isSpace).base(), type.end());
  std::transform(type.begin(), type.end(), type.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return type;
}

}  // namespace

HttpResult httpGet(const std::string& url, std::chrono::milliseconds timeout) {
  if (!initCurlOnce()) {
    return failure(HttpErrorKind::kInternal, "the network library could not be initialised");
  }
  CurlHandle handle(curl_easy_init());
  if (!handle) {
    return failure(HttpErrorKind::kInternal, "the network library could not make a request handle");
  }
  CURL* h = handle.get();
  BodySink sink;
  char detail[CURL_ERROR_SIZE] = {0};
  const long timeoutMs = std::max<long>(1, static_cast<long>(timeout.count()));

  CURLcode code = CURLE_OK;
  auto set = [&code](CURLcode c) {
    if (code == CURLE_OK) code = c;
  };
  set(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, detail));
  set(curl_easy_setopt(h, CURLOPT_URL, url.c_str()));
  set(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
  set(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
  set(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
  set(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L));
  set(curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxHttpRedirects));
  set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L));
  set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L));
  set(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs));
  set(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
  set(curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, ""));
  set(curl_easy_setopt(h, CURLOPT_USERAGENT, "Ovra/2.0"));
  set(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &writeBody));
  set(curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink));
  if (code != CURLE_OK) return failure(kindOf(code), curlErrorText(code, detail));

  code = curl_easy_perform(h);
  if (sink.tooLarge) {
    return failure(HttpErrorKind::kTooLarge,
                   "the reply is larger than " + std::to_string(kMaxHttpBodyBytes) + " bytes");
  }
  if (sink.outOfMemory) {
    return failure(HttpErrorKind::kInternal, "out of memory while reading the reply");
  }
  if (code != CURLE_OK) return failure(kindOf(code), curlErrorText(code, detail));

  HttpReply reply;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply.statusCode);
  char* contentType = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK &&
      contentType != nullptr) {
    reply.mimeType = mimeTypeOf(contentType);
  }
  reply.body = std::move(sink.body);
  HttpResult result;
  result.reply = std::move(reply);
  return result;
}

}  // namespace ovra::platform
