#pragma once
// What the update tests share on both machines: database texts, packages,
// and waiting until every download of the program has ended.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/all_windows.h"
#include "app/program.h"
#include "update/ezcrypt.h"
#include "update/list_signature.h"
#include "update/update_list.h"
#include "update/updater.h"

namespace kvxtest {

inline std::string DateLine(int upd) {
  return "Database date: 2026-12-01, Upd " + std::to_string(upd);
}

// A database text with its date line, one section, one rule and the end line.
inline std::string DatabaseText(const std::string& date, const std::string& rule = "[A]:c:\\a.exe") {
  return date + "\r\n[Start]\r\n" + rule + "\r\n_end\r\n";
}

// The plain text of package N: its date line, a rule of its own, the end line.
inline std::string PackageText(int n) {
  return DateLine(n) + "\r\n[Pkg" + std::to_string(n) + "]:c:\\p" + std::to_string(n) +
         ".exe\r\n" + std::string(60, ';') + "\r\n_end\r\n";
}

// Package N as the server sends it.
inline std::string Package(int n) {
  std::string bytes = PackageText(n);
  update::EncipherInPlace(bytes, update::LanguageKey());
  return bytes;
}

// A list as "kvxdb sign-list" makes it with the tests' key: the serial and
// the hash lines of the files (server path, bytes) added, and the text of
// its signature. Without a serial, the list goes without one.
struct SignedList {
  std::string list, signature;
};
inline SignedList SignList(const std::string& list, std::optional<std::uint32_t> serial,
                           const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::pair<std::string, std::string>> digests;
  for (const auto& [path, bytes] : files) digests.emplace_back(path, update::Sha256Hex(bytes));
  std::string sealed = update::SealList(list, serial.value_or(0), digests);
  if (!serial) sealed.erase(sealed.find("serial=0\r\n"), 10);
  return {sealed, update::SignHex(KVX_TEST_UPDATE_SECRET, sealed) + "\r\n"};
}

inline void WaitIdle(app::Program& p, ui::Host& host) {
  while (p.updater->Get2.Running() || p.updater->Get1.Running() || p.form4->Get1.Running()) {
    host.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The list check and everything it starts, to its end.
inline void Check(app::Program& p, ui::Host& host) {
  p.updater->StartListCheck();
  WaitIdle(p, host);
}

}  // namespace kvxtest
