#pragma once
// THTTPGet: fetches one URL over HTTP into a local file on a worker thread
// and reports progress, completion or failure on the user-interface thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/net.h"
#include "ui/host.h"

namespace update {

// A transfer that moves no byte for this long has failed: long enough for a
// slow line, short enough that nobody waits on a dead server.
inline constexpr std::uint32_t kStallLimitMs = 30000;

// Host, port and object path of "http://host[:port]/path" or "host/path".
// Without a "/" the host is empty and the whole text is the path.
struct UrlParts {
  std::string host;
  std::uint16_t port = 80;
  std::string path;
  bool valid = false;  // a host, and a port that is a number when given
};
UrlParts SplitUrl(const std::string& url);

class THTTPGet {
 public:
  THTTPGet(ui::Host& host, platform::Network& net, platform::FileSystem& fs);
  ~THTTPGet();
  THTTPGet(const THTTPGet&) = delete;
  THTTPGet& operator=(const THTTPGet&) = delete;

  std::string AcceptTypes = "*/*";
  std::string Agent;
  bool BinaryData = false;  // an answer without Content-Length fails
  std::string URL;
  bool UseCache = false;
  std::string FileName;
  std::string UserName, Password;
  std::string PostQuery;  // non-empty: a POST
  std::string Referer;
  bool WaitThread = false;  // GetFile returns only when the transfer has ended
  std::uint32_t stallLimitMs = kStallLimitMs;
  // The most the body may bring: an answer that announces more is refused
  // at its head, and one that brings more (or more than it announced) has
  // failed. Nothing is downloaded without a bound.
  std::uint64_t MaxSize = kDefaultMaxSize;
  static constexpr std::uint64_t kDefaultMaxSize = 64ull << 20;

  std::function<void(std::uint64_t totalSize, std::uint64_t readed)> OnProgress;
  std::function<void(const std::string& fileName, std::uint64_t fileSize)> OnDoneFile;
  std::function<void()> OnError;

  // Starts a download of URL into FileName; ignored while one runs. A
  // download that fails leaves no FileName behind.
  void GetFile();
  // Asks a running download to stop; it ends with OnError.
  void Abort();
  bool Running() const { return job_ != nullptr; }
  // Ends a running download without its handlers and returns once its
  // worker has let go of the network, the files and the host: what the
  // program does before any of them goes away.
  void Shutdown();
  bool Succeeded() const { return succeeded_; }

  struct Job;

 private:
  void Complete(bool success, std::uint64_t total);
  ui::Host& host_;
  platform::Network& net_;
  platform::FileSystem& fs_;
  std::shared_ptr<Job> job_;
  bool succeeded_ = false;
};

}  // namespace update
