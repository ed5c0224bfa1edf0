#pragma once
// The network as the update and the log upload use it: one HTTP request
// streamed into the caller, and an FTP session that logs in, announces a
// size and stores one file. Both ends are real protocols on every
// implementation (WinINet on Windows, libcurl on the simulated machine).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform {

// WinINet error numbers, kept identical on every implementation.
namespace neterr {
inline constexpr Status kTimeout = 12002;
inline constexpr Status kInternalError = 12004;
inline constexpr Status kNameNotResolved = 12007;
inline constexpr Status kLoginFailure = 12015;
inline constexpr Status kCancelled = 12017;
inline constexpr Status kCannotConnect = 12029;
inline constexpr Status kConnectionAborted = 12030;
inline constexpr Status kFtpTransferFailed = 12111;  // an FTP reply of 4xx/5xx
}  // namespace neterr

struct HttpRequest {
  std::string host;  // name or address
  std::uint16_t port = 80;
  std::string path;  // the object, beginning with "/"
  std::string agent;        // user agent; empty: none
  // The one accept-type string handed to the system, which sends it after
  // "Accept: ".
  std::string acceptType;
  std::string referer;
  std::string userName, password;
  std::string postQuery;  // non-empty: a POST carrying it as a form body
  bool useCache = false;  // false: bypass every cache on the way
  // A transfer that moves no byte for this long ends with kTimeout; the
  // systems' own waits are unbounded for a stalled body.
  std::uint32_t stallLimitMs = 30000;
};

// What one request tells its caller, in order: the head once, then the body
// in pieces. Returning false from either stops the transfer (kCancelled).
struct HttpSink {
  // status: the answer's status code; length: its Content-Length, when sent.
  std::function<bool(int status, std::optional<std::uint64_t> length)> onHead;
  std::function<bool(const char* data, std::size_t n)> onData;
};

struct FtpServer {
  std::string host;
  std::uint16_t port = 21;
  std::string userName, password;
  std::uint32_t stallLimitMs = 30000;
};

// A logged-in FTP control connection; data connections are active mode (the
// client offers the port). Closing it ends the session.
class FtpSession {
 public:
  virtual ~FtpSession() = default;
  // "ALLO size"; the server may answer 200 or 202.
  virtual Status Allocate(std::uint64_t size) = 0;
  // "STOR name" in the login directory, in binary.
  virtual Status Store(std::string_view remoteName, std::string_view bytes) = 0;
};

class Network {
 public:
  virtual ~Network() = default;
  // Sends the request and streams the answer; kOk when it was read to its
  // end (whatever its status code), a neterr code otherwise. `stop` is
  // polled while the transfer runs.
  virtual Status HttpTransfer(const HttpRequest& request, const HttpSink& sink,
                              const std::atomic<bool>& stop) = 0;
  // Connects and logs in; null with *error set (kLoginFailure for a refused
  // login, kCannotConnect, kNameNotResolved).
  virtual std::unique_ptr<FtpSession> FtpLogin(const FtpServer& server, Status* error) = 0;
};

// "host" or "host:port" (a server given by the user or the build); false
// when the port is not a number from 1 to 65535 or the host is empty.
bool SplitHostPort(std::string_view text, std::string& host, std::uint16_t& port);

}  // namespace platform
