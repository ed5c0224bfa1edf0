#include "engine/matching.h"

#include <algorithm>

#include "engine/helpers.h"
#include "platform/text.h"

namespace engine {
namespace {

using platform::ExtractFileName;
using platform::ExtractFilePath;
using platform::LowerCase;

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  for (std::size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
    s.replace(pos, from.size(), to);
}

void EraseFirst(std::string& s, std::string_view what) {
  if (what.empty()) return;
  if (auto pos = s.find(what); pos != std::string::npos) s.erase(pos, what.size());
}

// 1-based position as the program's text functions count, 0 when absent.
std::size_t Pos(std::string_view what, std::string_view in) {
  auto p = in.find(what);
  return p == std::string_view::npos ? 0 : p + 1;
}

bool SameFolder(std::string_view a, std::string_view b) {
  return platform::SameText(ExtractFilePath(a), ExtractFilePath(b));
}

std::string Entry(platform::FileSystem& fs, std::string_view prefix, const std::string& path) {
  return std::string(prefix) + path + "[" + FileMd5(fs, path) + "][" +
         std::to_string(FileSizeOf(fs, path)) + "]";
}

}  // namespace

void SystemInventory::Clear() {
  list_.Clear();
  resolved_.clear();
  done_.clear();
}

bool SystemInventory::Add(std::string entry) {
  resolved_.clear();
  done_.clear();
  return list_.Add(std::move(entry));
}

const std::string& SystemInventory::Resolved(platform::FileSystem& fs, std::size_t i) const {
  if (resolved_.size() != list_.Size()) {
    resolved_.assign(list_.Size(), {});
    done_.assign(list_.Size(), false);
  }
  if (!done_[i]) {
    resolved_[i] = ResolvePath(fs, list_.Texts()[i]);
    done_[i] = true;
  }
  return resolved_[i];
}

void BuildSystemInventory(platform::Machine& machine, const InventorySources& sources,
                          SystemInventory& inventory, const InventoryCallbacks& cb) {
  auto& fs = machine.Files();
  auto show = [&](const std::string& path) {
    if (cb.showPath) cb.showPath(path);
  };
  inventory.Clear();
  for (const auto& p : ListRunningProcesses(machine)) {
    if (cb.processMessages) cb.processMessages();
    if (!IsValidFile(fs, p.path)) continue;
    inventory.Add(Entry(fs, "Proc ", p.path));
    show(p.path);
  }
  // A value whose data names no file is still listed, with an empty path.
  for (const auto& data : sources.startupValues) inventory.Add(Entry(fs, "RegRun ", ResolvePath(fs, data)));
  const struct {
    const std::vector<std::string>* texts;
    std::string_view prefix;
  } lists[] = {{&sources.startupFolderCommands, cb.startupPrefix},
               {&sources.servicePaths, cb.servicePrefix},
               {&sources.systemIniEntries, "System.ini "}};
  for (const auto& l : lists) {
    for (const auto& text : *l.texts) {
      const std::string path = ResolvePath(fs, text);
      if (path.empty()) continue;
      inventory.Add(Entry(fs, l.prefix, path));
      show(path);
    }
  }
  for (const auto& server : sources.serverFiles)
    if (!server.empty()) inventory.Add(Entry(fs, "Clsid ", server));
}

std::string FindFilesByPattern(const MatchContext& ctx, std::string_view pattern) {
  std::string mask(pattern);
  if (auto p = mask.find("<>"); p != std::string::npos) mask.replace(p, 2, "*");
  const std::string folder = ExtractFilePath(pattern);
  std::string out;
  platform::FindData d;
  auto h = ctx.machine.Files().FindFirst(mask, d);
  if (!h) return out;
  do {
    ctx.Pump();
    if (d.IsDirectory() || !d.lastWriteIsDosTime) continue;
    out += folder + d.name + ";";
  } while (h->Next(d));
  return out;
}

bool PassesSuffixTest(std::string_view name, std::string_view set) {
  std::string allowed(set), rest(name);
  const int fields = CountFields(set, '!');
  int count = 1;
  if (fields > 0) {
    std::size_t previous = 0;
    for (int f = 1; f < fields; ++f) {
      const std::string piece = GetField(set, f, '!');
      const std::size_t at = Pos(piece, name);
      if (at > previous) {
        ++count;
        EraseFirst(rest, piece);
      } else {
        count = 0;
      }
      previous = at;
      EraseFirst(allowed, piece);
    }
    allowed.erase(std::remove(allowed.begin(), allowed.end(), '!'), allowed.end());
  }
  for (char c : rest)
    if (allowed.find(c) == std::string::npos) return false;
  if (allowed != set && count < fields - 1) return false;
  return true;
}

std::string MatchInventory(const MatchContext& ctx, std::string_view rulePath) {
  // Most rules name a plain file, which no kind below matches: settle that
  // before anything is copied.
  if (const std::string_view name = platform::FileNamePart(rulePath);
      std::none_of(name.begin(), name.end(), [](char c) { return c == '<' || c == '&' || c == '?'; }) &&
      name.find("randomA") == std::string_view::npos)
    return {};
  auto& fs = ctx.machine.Files();
  const std::string file = ExtractFileName(rulePath);
  const std::string dir = ExtractFilePath(rulePath);
  const auto& entries = ctx.inventory.Entries();
  std::string out;
  auto resolved = [&](std::size_t i) -> const std::string& {
    ctx.Pump();
    return ctx.inventory.Resolved(fs, i);
  };

  if (auto wild = file.find("<>"); wild != std::string::npos) {
    const std::string x = file.substr(0, wild);
    const std::string lx = LowerCase(x);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].find(x) == std::string::npos) continue;
      const std::string& p = resolved(i);
      if (!p.empty() && LowerCase(p).find(lx) != std::string::npos && SameFolder(p, rulePath))
        out += p + ";";
    }
    return out;
  }
  if (auto amp = file.find('&'); amp != std::string::npos) {
    const std::string x = file.substr(0, amp);
    const std::string set = file.substr(amp + 1);
    if (!x.empty()) {
      std::string ext = platform::ExtractFileExt(file);
      ext.erase(std::remove(ext.begin(), ext.end(), '!'), ext.end());
      const std::string found = FindFilesByPattern(ctx, dir + x + "<>" + ext);
      for (int i = 0, n = CountFields(found, ';'); i < n; ++i) {
        ctx.Pump();
        std::string name = LowerCase(ExtractFileName(GetField(found, i, ';')));
        EraseFirst(name, LowerCase(x));
        if (PassesSuffixTest(name, set)) out += dir + x + name + ";";
      }
    } else {
      for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& p = resolved(i);
        if (p.empty()) continue;
        const std::string name = LowerCase(ExtractFileName(p));
        if (PassesSuffixTest(name, set)) out += dir + name + ";";
      }
    }
    return out;
  }
  if (file.find('?') != std::string::npos) {
    const std::string lfile = LowerCase(file);
    const int pieces = CountFields(lfile, '?');
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string& p = resolved(i);
      const std::string name = LowerCase(ExtractFileName(p));
      std::size_t previous = 0;
      bool all = true;
      for (int k = 0; k < pieces && all; ++k) {
        const std::size_t at = Pos(GetField(lfile, k, '?'), name);
        all = at != 0 && at >= previous;
        previous = at;
      }
      if (all && !p.empty() && SameFolder(p, rulePath)) out += p + ";";
    }
    return out;
  }
  if (file.find("randomA") != std::string::npos) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string& p = resolved(i);
      if (p.empty()) continue;
      const std::string name = LowerCase(ExtractFileName(p));
      const std::string ext = LowerCase(platform::ExtractFileExt(name));
      if (Pos("a" + ext, name) <= 3) continue;
      std::string twin = LowerCase(p);
      ReplaceAll(twin, "a" + ext, ext);
      if (!IsValidFile(fs, twin)) continue;
      if (SameFolder(p, rulePath)) out += p + ";";
      out += p + ";" + twin + ";";
    }
  }
  return out;
}

const std::vector<std::string>& MatchContext::RunningPrograms() const {
  if (!runningListed_) {
    running_.clear();
    runningLower_.clear();
    tails_.clear();
    for (auto& p : ListRunningProcesses(machine)) {
      if (!IsValidFile(machine.Files(), p.path)) continue;
      runningLower_.push_back(LowerCase(p.path));
      running_.push_back(std::move(p.path));
    }
    for (std::size_t i = 0; i < runningLower_.size(); ++i) {
      const std::string_view path = runningLower_[i];
      for (auto at = path.find('\\'); at != std::string_view::npos; at = path.find('\\', at + 1))
        tails_.emplace_back(path.substr(at), static_cast<int>(i));
    }
    std::sort(tails_.begin(), tails_.end());
    runningListed_ = true;
  }
  return running_;
}

int MatchContext::FindRunningProgram(std::string_view fragment) const {
  RunningPrograms();
  fragment_.assign(fragment);
  for (char& c : fragment_) c = platform::LowerChar(c);
  if (fragment_.empty() || fragment_[0] != '\\') {
    for (std::size_t i = 0; i < runningLower_.size(); ++i)
      if (runningLower_[i].find(fragment_) != std::string::npos) return static_cast<int>(i);
    return -1;
  }
  int first = -1;
  for (auto it = std::lower_bound(tails_.begin(), tails_.end(), std::pair<std::string_view, int>(fragment_, -1));
       it != tails_.end() && it->first.substr(0, fragment_.size()) == fragment_; ++it)
    if (first < 0 || it->second < first) first = it->second;
  return first;
}

std::string FindRunningProcessPath(const MatchContext& ctx, std::string_view fragment,
                                   std::string_view hash) {
  auto& fs = ctx.machine.Files();
  const auto& paths = ctx.RunningPrograms();
  if (!fragment.empty()) {
    const int i = ctx.FindRunningProgram(fragment);
    if (i >= 0) return paths[static_cast<std::size_t>(i)];
  } else if (!hash.empty()) {
    for (const auto& p : paths)
      if (ReadFileMd5(fs, p) == hash) return p;
  }
  return {};
}

std::string FindInventoryPathByHash(const MatchContext& ctx, std::string_view hash) {
  const auto& entries = ctx.inventory.Entries();
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].find(hash) != std::string::npos)
      return ctx.inventory.Resolved(ctx.machine.Files(), i);
  return {};
}

std::string BaseName(std::string_view path) {
  const std::string name = ExtractFileName(path);
  const std::string base = name.substr(0, name.find('.'));
  return base.empty() ? name : base;
}

std::vector<std::string> ExpandRange(std::string_view rulePath,
                                     const std::function<bool()>& keepGoing) {
  std::vector<std::string> out;
  const std::string name = ExtractFileName(rulePath);
  const std::string folder = ExtractFilePath(rulePath);
  const auto first = name.find("??");
  const auto last = name.rfind('?');
  if (first == std::string::npos) return out;
  const std::string p = last >= first + 2 ? name.substr(first + 2, last - first - 1) : "";
  const std::string from = GetField(p, 0, '?'), to = GetField(p, 1, '?');
  const std::string fl = LettersOf(from), tl = LettersOf(to);
  const std::string fd = DigitsOf(from), td = DigitsOf(to);

  std::vector<std::string> letters;
  if (fl.size() == 1 && tl.size() == 1) {
    const int end = LetterPosition(tl[0]);
    int at = LetterPosition(fl[0]);
    do letters.push_back(LetterAt(at));
    while (++at < end);
  } else {
    letters.push_back({});
  }
  // Numbers beyond nine digits cannot name a file anyone plants; they would
  // only make the scan run for ever.
  auto number = [](const std::string& digits) {
    return digits.size() > 9 ? -1LL : std::stoll(digits);
  };
  long long low = 0, high = 1;
  if (!fd.empty() && !td.empty()) {
    low = number(fd);
    high = number(td);
    if (low < 0 || high < 0) return out;
    high = std::max(high, low + 1);
  }
  for (const auto& letter : letters) {
    if (keepGoing && !keepGoing()) return out;
    std::string running = p;
    if (!letter.empty()) ReplaceAll(running, fl, letter);
    ReplaceAll(running, tl, "");
    std::string previous = fd;
    for (long long n = low; n < high; ++n) {
      if (keepGoing && !keepGoing()) return out;
      if (out.size() >= kMaxRangeNames) return out;
      ReplaceAll(running, td, "");
      running.erase(std::remove(running.begin(), running.end(), '?'), running.end());
      const std::string current = std::to_string(n);
      ReplaceAll(running, previous, current);
      previous = current;
      std::string expanded = name;
      ReplaceAll(expanded, p, running);
      expanded.erase(std::remove(expanded.begin(), expanded.end(), '?'), expanded.end());
      out.push_back(folder + expanded);
    }
  }
  return out;
}

}  // namespace engine
