#pragma once
// Real servers on the loopback interface, started from Debian's Python for
// one test and stopped with it: the HTTP scenario server and pyftpdlib.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

class LoopbackServer {
 public:
  // Runs /usr/bin/python3 tests/net/SCRIPT ARGS...; the server prints its port first.
  LoopbackServer(const std::string& script, std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    const std::string path = std::string(KVX_SOURCE_DIR) + "/tests/net/" + script;
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      // The server ends with the test program even when that crashes, and
      // holds none of the test runner's output pipes.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(0);
      if (int null = open("/dev/null", O_WRONLY); null >= 0) dup2(null, 2);
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv{const_cast<char*>("/usr/bin/python3"), const_cast<char*>(path.c_str())};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    port = static_cast<std::uint16_t>(std::atoi(line.c_str()));
  }
  ~LoopbackServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::uint16_t port = 0;
  std::string Address() const { return "127.0.0.1:" + std::to_string(port); }

 private:
  pid_t pid_ = -1;
};

// A folder served over HTTP, with the scenario file and request log of
// tests/net/http_scenario.py.
class ServedFolder {
 public:
  ServedFolder() {
    char tmpl[] = "/tmp/kvx-www-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  ~ServedFolder() { std::filesystem::remove_all(dir); }

  void Put(const std::string& path, std::string_view bytes) {
    auto file = dir / path.substr(1);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
  }
  void Scenario(const std::string& json) { Put("/_scenario.json", json); }
  // The request lines received so far ("GET /path HTTP/1.0").
  std::vector<std::string> Requests(bool full = false) const {
    std::ifstream in(dir / "_requests.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(full ? line : line.substr(0, line.find('\t')));
    return lines;
  }

  std::filesystem::path dir;
};

inline std::string ReadHostFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
