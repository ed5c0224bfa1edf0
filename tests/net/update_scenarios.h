#pragma once
// What the update tests share on both machines: database texts, packages,
// and waiting until every download of the program has ended.
#include <chrono>
#include <string>
#include <thread>

#include "app/all_windows.h"
#include "app/program.h"
#include "update/ezcrypt.h"
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
