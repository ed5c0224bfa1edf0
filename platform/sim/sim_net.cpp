// The simulated machine's network is the host's real one, through libcurl:
// tests talk real HTTP and FTP to servers on the loopback interface.
#include "platform/sim/sim_machine.h"

#include <curl/curl.h>

#include <mutex>
#include <string>

namespace platform::sim {
namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Easy {
  Easy() {
    GlobalInit();
    h = curl_easy_init();
  }
  ~Easy() {
    if (h) curl_easy_cleanup(h);
  }
  Easy(const Easy&) = delete;
  Easy& operator=(const Easy&) = delete;
  CURL* h = nullptr;
};

struct Slist {
  ~Slist() { curl_slist_free_all(list); }
  void Add(const std::string& s) { list = curl_slist_append(list, s.c_str()); }
  curl_slist* list = nullptr;
};

// Stall limit: below one byte per second for the limit counts as no progress.
void SetStallLimit(CURL* h, std::uint32_t ms) {
  const long seconds = ms < 1000 ? 1 : long(ms / 1000);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(ms));
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, seconds);
}

Status FromCurl(CURLcode rc) {
  switch (rc) {
    case CURLE_OK:
      return kOk;
    case CURLE_COULDNT_RESOLVE_HOST:
      return neterr::kNameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return neterr::kCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return neterr::kTimeout;
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_WRITE_ERROR:
      return neterr::kCancelled;
    case CURLE_LOGIN_DENIED:
      return neterr::kLoginFailure;
    case CURLE_QUOTE_ERROR:
    case CURLE_UPLOAD_FAILED:
    case CURLE_FTP_COULDNT_USE_REST:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
      return neterr::kFtpTransferFailed;
    default:
      return neterr::kConnectionAborted;
  }
}

struct HttpState {
  CURL* h;
  const HttpSink* sink;
  const std::atomic<bool>* stop;
  bool headSent = false;
  bool refused = false;
};

bool SendHead(HttpState& s) {
  if (s.headSent) return true;
  s.headSent = true;
  long status = 0;
  curl_easy_getinfo(s.h, CURLINFO_RESPONSE_CODE, &status);
  curl_off_t length = -1;
  curl_easy_getinfo(s.h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  std::optional<std::uint64_t> len;
  if (length >= 0) len = std::uint64_t(length);
  if (s.sink->onHead && !s.sink->onHead(int(status), len)) s.refused = true;
  return !s.refused;
}

size_t OnBody(char* data, size_t, size_t n, void* user) {
  auto& s = *static_cast<HttpState*>(user);
  if (!SendHead(s)) return CURL_WRITEFUNC_ERROR;
  if (n && s.sink->onData && !s.sink->onData(data, n)) {
    s.refused = true;
    return CURL_WRITEFUNC_ERROR;
  }
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(user)->load() ? 1 : 0;
}

class CurlFtpSession final : public FtpSession {
 public:
  CurlFtpSession(const FtpServer& server) : server_(server) {
    base_ = "ftp://" + server.host + ":" + std::to_string(server.port) + "/";
  }

  Status Login() {
    if (!easy_.h) return neterr::kInternalError;
    Prepare(base_);
    curl_easy_setopt(easy_.h, CURLOPT_NOBODY, 1L);
    return FromCurl(curl_easy_perform(easy_.h));
  }

  Status Allocate(std::uint64_t size) override {
    Prepare(base_);
    Slist quote;
    quote.Add("ALLO " + std::to_string(size));
    curl_easy_setopt(easy_.h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy_.h, CURLOPT_QUOTE, quote.list);
    Status s = FromCurl(curl_easy_perform(easy_.h));
    curl_easy_setopt(easy_.h, CURLOPT_QUOTE, nullptr);
    return s;
  }

  Status Store(std::string_view remoteName, std::string_view bytes) override {
    char* escaped = curl_easy_escape(easy_.h, remoteName.data(), int(remoteName.size()));
    if (!escaped) return neterr::kInternalError;
    Prepare(base_ + escaped);
    curl_free(escaped);
    struct Source {
      std::string_view rest;
    } source{bytes};
    curl_easy_setopt(easy_.h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy_.h, CURLOPT_INFILESIZE_LARGE, curl_off_t(bytes.size()));
    curl_easy_setopt(easy_.h, CURLOPT_READDATA, &source);
    curl_easy_setopt(easy_.h, CURLOPT_READFUNCTION,
                     +[](char* buf, size_t size, size_t n, void* user) -> size_t {
                       auto& src = *static_cast<Source*>(user);
                       size_t take = std::min(size * n, src.rest.size());
                       std::copy_n(src.rest.data(), take, buf);
                       src.rest.remove_prefix(take);
                       return take;
                     });
    Status s = FromCurl(curl_easy_perform(easy_.h));
    curl_easy_setopt(easy_.h, CURLOPT_UPLOAD, 0L);
    return s;
  }

 private:
  void Prepare(const std::string& url) {
    CURL* h = easy_.h;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERNAME, server_.userName.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, server_.password.c_str());
    curl_easy_setopt(h, CURLOPT_FTPPORT, "-");  // active mode: the client offers the port
    curl_easy_setopt(h, CURLOPT_FTP_USE_EPRT, 0L);
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    SetStallLimit(h, server_.stallLimitMs);
  }

  FtpServer server_;
  std::string base_;
  Easy easy_;
};

}  // namespace

Status SimNetwork::HttpTransfer(const HttpRequest& request, const HttpSink& sink,
                                const std::atomic<bool>& stop) {
  Easy easy;
  if (!easy.h) return neterr::kInternalError;
  CURL* h = easy.h;
  const std::string url =
      "http://" + request.host + ":" + std::to_string(request.port) + request.path;
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
  curl_easy_setopt(h, CURLOPT_PROXY, "");  // never through a proxy of the host's environment
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  if (!request.agent.empty()) curl_easy_setopt(h, CURLOPT_USERAGENT, request.agent.c_str());
  if (!request.referer.empty()) curl_easy_setopt(h, CURLOPT_REFERER, request.referer.c_str());
  if (!request.userName.empty()) {
    curl_easy_setopt(h, CURLOPT_USERNAME, request.userName.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, request.password.c_str());
  }
  Slist headers;
  headers.Add("Accept: " + request.acceptType);
  if (!request.useCache) headers.Add("Pragma: no-cache");
  if (!request.postQuery.empty()) {
    headers.Add("Content-Type: application/x-www-form-urlencoded");
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.postQuery.c_str());
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.list);
  SetStallLimit(h, request.stallLimitMs);

  HttpState state{h, &sink, &stop};
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&stop));

  CURLcode rc = curl_easy_perform(h);
  if (state.refused) return neterr::kCancelled;
  if (rc != CURLE_OK) return FromCurl(rc);
  // An empty body never reached the body callback.
  if (!SendHead(state)) return neterr::kCancelled;
  return kOk;
}

std::unique_ptr<FtpSession> SimNetwork::FtpLogin(const FtpServer& server, Status* error) {
  auto session = std::make_unique<CurlFtpSession>(server);
  Status s = session->Login();
  if (error) *error = s;
  if (s != kOk) return nullptr;
  return session;
}

}  // namespace platform::sim
