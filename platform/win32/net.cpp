// HTTP and FTP through WinINet.
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/win.h"

namespace platform::win32 {
namespace {

struct Handle {
  explicit Handle(HINTERNET h = nullptr) : h(h) {}
  ~Handle() {
    if (h) InternetCloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  explicit operator bool() const { return h != nullptr; }
  HINTERNET h;
};

Status LastError() {
  DWORD e = GetLastError();
  return e ? e : neterr::kInternalError;
}

// WinINet never times out a stalled body on its own: every wait gets the
// stall limit.
void SetTimeouts(HINTERNET h, std::uint32_t ms) {
  DWORD value = ms;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                       INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
    InternetSetOptionA(h, option, &value, sizeof(value));
}

const char* OrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

class WinFtpSession final : public FtpSession {
 public:
  WinFtpSession(HINTERNET session, HINTERNET ftp) : session_(session), ftp_(ftp) {}

  Status Allocate(std::uint64_t size) override {
    const std::string command = "ALLO " + std::to_string(size);
    if (!FtpCommandA(ftp_.h, FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr))
      return LastError();
    return kOk;
  }

  Status Store(std::string_view remoteName, std::string_view bytes) override {
    const std::string name(remoteName);
    Handle file(FtpOpenFileA(ftp_.h, name.c_str(), GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
    if (!file) return LastError();
    while (!bytes.empty()) {
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 65536));
      DWORD written = 0;
      if (!InternetWriteFile(file.h, bytes.data(), chunk, &written) || written == 0)
        return LastError();
      bytes.remove_prefix(written);
    }
    HINTERNET h = file.h;
    file.h = nullptr;
    // Closing the file ends the data connection and reads the server's verdict.
    if (!InternetCloseHandle(h)) return LastError();
    return kOk;
  }

 private:
  Handle session_;
  Handle ftp_;
};

class WinNetwork final : public Network {
 public:
  Status HttpTransfer(const HttpRequest& r, const HttpSink& sink,
                      const std::atomic<bool>& stop) override {
    Handle session(InternetOpenA(OrNull(r.agent), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return LastError();
    SetTimeouts(session.h, r.stallLimitMs);
    Handle connect(InternetConnectA(session.h, r.host.c_str(), r.port, OrNull(r.userName),
                                    OrNull(r.password), INTERNET_SERVICE_HTTP, 0, 0));
    if (!connect) return LastError();
    const char* accept[] = {r.acceptType.c_str(), nullptr};
    DWORD flags = INTERNET_FLAG_NO_UI;
    // Without NO_CACHE_WRITE the answer still lands in the cache; the pragma
    // asks caches on the way to step aside as well.
    if (!r.useCache)
      flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    const bool post = !r.postQuery.empty();
    Handle request(HttpOpenRequestA(connect.h, post ? "POST" : "GET", r.path.c_str(), "HTTP/1.0",
                                    OrNull(r.referer), accept, flags, 0));
    if (!request) return LastError();
    SetTimeouts(request.h, r.stallLimitMs);
    BOOL sent;
    if (post) {
      static const char kForm[] = "Content-Type: application/x-www-form-urlencoded";
      sent = HttpSendRequestA(request.h, kForm, DWORD(sizeof(kForm) - 1),
                              const_cast<char*>(r.postQuery.data()), DWORD(r.postQuery.size()));
    } else {
      sent = HttpSendRequestA(request.h, nullptr, 0, nullptr, 0);
    }
    if (!sent) return LastError();
    if (stop) return neterr::kCancelled;

    DWORD status = 0, size = sizeof(status);
    HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   nullptr);
    std::optional<std::uint64_t> length;
    char text[64] = {};
    DWORD textSize = sizeof(text) - 1;
    if (HttpQueryInfoA(request.h, HTTP_QUERY_CONTENT_LENGTH, text, &textSize, nullptr)) {
      std::uint64_t n = 0;
      bool digits = textSize > 0 && textSize <= 19;
      for (DWORD i = 0; i < textSize && digits; ++i) {
        if (text[i] < '0' || text[i] > '9') digits = false;
        else n = n * 10 + std::uint64_t(text[i] - '0');
      }
      if (digits) length = n;
    }
    if (sink.onHead && !sink.onHead(int(status), length)) return neterr::kCancelled;

    std::vector<char> buffer(4097);
    for (;;) {
      if (stop) return neterr::kCancelled;
      DWORD got = 0;
      if (!InternetReadFile(request.h, buffer.data(), DWORD(buffer.size()), &got)) {
        return LastError();
      }
      if (got == 0) return kOk;
      if (sink.onData && !sink.onData(buffer.data(), got)) return neterr::kCancelled;
    }
  }

  std::unique_ptr<FtpSession> FtpLogin(const FtpServer& s, Status* error) override {
    auto fail = [&](Status e) -> std::unique_ptr<FtpSession> {
      if (error) *error = e;
      return nullptr;
    };
    HINTERNET session = InternetOpenA("Klaruvex Pro", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session) return fail(LastError());
    SetTimeouts(session, s.stallLimitMs);
    // No INTERNET_FLAG_PASSIVE: the client offers the data port.
    HINTERNET ftp = InternetConnectA(session, s.host.c_str(), s.port, s.userName.c_str(),
                                     s.password.c_str(), INTERNET_SERVICE_FTP, 0, 0);
    if (!ftp) {
      Status e = LastError();
      InternetCloseHandle(session);
      return fail(e);
    }
    if (error) *error = kOk;
    return std::make_unique<WinFtpSession>(session, ftp);
  }
};

}  // namespace

std::unique_ptr<Network> CreateNetwork() { return std::make_unique<WinNetwork>(); }

}  // namespace platform::win32
