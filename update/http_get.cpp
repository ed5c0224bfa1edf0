#include "update/http_get.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/text.h"

namespace update {

UrlParts SplitUrl(const std::string& url) {
  UrlParts parts;
  std::string rest = url;
  if (platform::LowerCase(rest).find("http://") != std::string::npos) rest.erase(0, 7);
  const auto slash = rest.find('/');
  if (slash == std::string::npos) {
    parts.path = rest;
    return parts;
  }
  std::string host = rest.substr(0, slash);
  parts.path = rest.substr(slash);
  while (!host.empty() && host.back() == '/') host.pop_back();
  parts.valid = platform::SplitHostPort(host, parts.host, parts.port);
  return parts;
}

// What the worker shares with its component. The component side is touched
// only on the user-interface thread; `owner` is cleared when the component
// goes away first.
struct THTTPGet::Job {
  std::atomic<bool> stop{false};
  std::atomic<bool> finished{false};
  THTTPGet* owner = nullptr;
};

THTTPGet::THTTPGet(ui::Host& host, platform::Network& net, platform::FileSystem& fs)
    : host_(host), net_(net), fs_(fs) {}

THTTPGet::~THTTPGet() { Shutdown(); }

void THTTPGet::Shutdown() {
  if (!job_) return;
  const auto job = job_;
  job->owner = nullptr;
  job->stop = true;
  // The worker holds the host, the network and the file system by
  // reference: wait until it has let go of all of them, running its calls
  // to this thread (which do nothing now) so it is never stuck in one.
  while (!job->finished) {
    host_.ProcessMessages();
    if (!job->finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  job_.reset();
}

void THTTPGet::Abort() {
  if (job_) job_->stop = true;
}

void THTTPGet::GetFile() {
  if (job_) return;
  auto job = std::make_shared<Job>();
  job->owner = this;
  job_ = job;

  platform::HttpRequest request;
  const UrlParts url = SplitUrl(URL);
  request.host = url.host;
  request.port = url.port;
  request.path = url.path;
  request.agent = Agent;
  request.acceptType = "Accept: " + AcceptTypes;
  request.referer = Referer;
  request.userName = UserName;
  request.password = Password;
  request.postQuery = PostQuery;
  request.useCache = UseCache;
  request.stallLimitMs = stallLimitMs;

  struct Copy {
    platform::HttpRequest request;
    bool urlValid;
    bool binaryData;
    bool progress;
    std::string fileName;
    std::uint64_t maxSize;
  } copy{std::move(request), url.valid, BinaryData, bool(OnProgress), FileName, MaxSize};

  std::thread([job, copy = std::move(copy), &host = host_, &net = net_, &fs = fs_] {
    bool ok = false, created = false;
    std::uint64_t total = 0, count = 0;
    try {
      if (copy.urlValid && !job->stop) {
        std::unique_ptr<platform::File> file;
        bool headOk = false, writeOk = true;
        platform::HttpSink sink;
        sink.onHead = [&](int status, std::optional<std::uint64_t> length) {
          if (job->stop) return false;
          if (!length && copy.binaryData) return false;
          // Anything but 200 is an error page, never the file asked for.
          if (status != 200) return false;
          if (length && *length > copy.maxSize) return false;  // refused before a byte is stored
          total = length.value_or(0);
          file = fs.Open(copy.fileName, platform::OpenMode::Write);
          headOk = created = file != nullptr;
          return headOk;
        };
        sink.onData = [&](const char* data, std::size_t n) {
          if (job->stop) return false;
          // Past the cap, or past what the head announced: a server that
          // keeps sending is cut off here, not when the disk is full.
          const std::uint64_t limit = total ? std::min(total, copy.maxSize) : copy.maxSize;
          if (n > limit - count) return writeOk = false;
          if (file->Write(data, n) != platform::kOk) return writeOk = false;
          count += n;
          if (copy.progress) {
            host.Synchronize([job, total, count] {
              if (job->owner && job->owner->OnProgress) job->owner->OnProgress(total, count);
            });
          }
          return true;
        };
        const platform::Status s = net.HttpTransfer(copy.request, sink, job->stop);
        if (file && file->Flush() != platform::kOk) writeOk = false;
        file.reset();
        ok = s == platform::kOk && headOk && writeOk && count == total && !job->stop;
      }
    } catch (...) {
      ok = false;
    }
    // Nothing partial stays behind for anyone to take for the file.
    try {
      if (!ok && created) fs.DeleteFile(copy.fileName);
    } catch (...) {
    }
    try {
      host.Synchronize([job, ok, total] {
        if (job->owner) job->owner->Complete(ok && !job->stop, total);
      });
    } catch (...) {
    }
    job->finished = true;
  }).detach();

  if (!WaitThread) return;
  // The caller goes on only after the done or error handler has run; the
  // windows stay alive meanwhile.
  while (job_ == job) {
    host_.ProcessMessages();
    if (job_ == job) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void THTTPGet::Complete(bool success, std::uint64_t total) {
  succeeded_ = success;
  auto keep = job_;  // the handlers may start the next download
  job_.reset();
  if (success) {
    if (OnDoneFile) OnDoneFile(FileName, total);
  } else if (OnError) {
    OnError();
  }
}

}  // namespace update
