#include "tools/kvxdb/kvxdb.h"

#include <ostream>
#include <string_view>

#include "engine/rules.h"
#include "engine/threat_database.h"
#include "platform/text.h"
#include "quarantine/quarantine_transform.h"
#include "tools/kvxdb/host_files.h"
#include "update/ezcrypt.h"
#include "update/list_signature.h"
#include "update/update_list.h"

namespace kvxdb {
namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  kvxdb pack TEXT OUT [--no-compress]   write the stored form of files.dat\n"
    "  kvxdb unpack IN TEXT                  write the plain text of a stored database\n"
    "  kvxdb rules IN [--windir DIR] [--sysdir DIR] [--programfiles DIR]\n"
    "                                        print every pass of the scan as\n"
    "                                        kind, Name, Hash, Dir, File, no-process-lookup\n"
    "  kvxdb lang-pack TEXT OUT [--utf8]     encipher a language file (.vlng); --utf8 reads\n"
    "                                        UTF-8 text and stores it in Windows-1252\n"
    "  kvxdb lang-unpack IN TEXT [--utf8]    decipher a language file\n"
    "  kvxdb quarantine-decode STORED OUT    turn a quarantined copy back into the file\n"
    "  kvxdb quarantine-encode IN OUT        make the quarantined copy of a file\n"
    "  kvxdb keygen SECRET PUBLIC            make the update key pair: PUBLIC holds the\n"
    "                                        64 digits of the KVX_UPDATE_PUBLIC_KEY setting\n"
    "  kvxdb sign-list SECRET LIST SIG SERIAL [FILE=PATH]...\n"
    "                                        add serial=SERIAL and the SHA-256 of each PATH\n"
    "                                        (served as FILE) to LIST and write its\n"
    "                                        signature to SIG, published as /updr2/list.sig\n";

// Every input kvxdb reads is a database or a language file: none comes near
// the database cap.
bool ReadFile(platform::FileSystem& fs, const std::string& path, std::string& bytes,
              std::ostream& err) {
  const platform::Status s = platform::ReadWholeFile(fs, path, bytes, engine::kMaxDatabaseBytes);
  if (s == platform::kFileTooLarge)
    err << "kvxdb: " << path << " is larger than 64 MB\n";
  else if (s != platform::kOk)
    err << "kvxdb: cannot read " << path << "\n";
  return s == platform::kOk;
}

// Written beside the target and renamed over it in one step: a failure
// leaves the old file as it was and nothing else behind.
bool WriteFile(platform::FileSystem& fs, const std::string& path, const std::string& bytes,
               std::ostream& err) {
  if (platform::WriteFileReplacing(fs, path, bytes) == platform::kOk) return true;
  err << "kvxdb: cannot write " << path << "\n";
  return false;
}

// Checks the text against the format and gives it CR LF line ends. Returns
// an error text, empty when the text is a database.
std::string Normalize(const std::string& in, std::string& out) {
  out.clear();
  std::vector<std::string> lines;
  std::string cur;
  for (std::size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n') continue;
    if (c == '\n') {
      lines.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(std::move(cur));
  if (lines.size() < 2) return "a database needs a date line and the closing \"_end\" line";
  if (lines.back() != "_end") return "the last line must be \"_end\"";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].size() > 254)
      return "line " + std::to_string(i + 1) + " is longer than 254 characters";
    if (lines[i].find('\r') != std::string::npos || lines[i].find('\0') != std::string::npos)
      return "line " + std::to_string(i + 1) + " holds a CR or NUL byte";
    out += lines[i] + "\r\n";
  }
  return {};
}

bool LooksLikeDatabase(const std::string& text) {
  std::string normalized;
  return text.size() >= 8 && text.compare(text.size() - 6, 6, "_end\r\n") == 0 &&
         text.find('\0') == std::string::npos && Normalize(text, normalized).empty() &&
         normalized == text;
}

bool Unpack(platform::FileSystem& fs, const std::string& path, std::string& text, std::ostream& err) {
  std::string image;
  if (!ReadFile(fs, path, image, err)) return false;
  switch (engine::UnpackDatabase(std::move(image), update::LanguageKey(), text)) {
    case engine::LoadResult::Ok: break;
    case engine::LoadResult::Damaged:
      err << "kvxdb: " << path << " is damaged: its compressed data is broken\n";
      return false;
    case engine::LoadResult::TooLarge:
      err << "kvxdb: " << path << " unpacks to more than 64 MB, far more than any threat "
             "database, and was not unpacked\n";
      return false;
    case engine::LoadResult::OutOfMemory:
      err << "kvxdb: " << path << " could not be unpacked: there is not enough memory\n";
      return false;
    case engine::LoadResult::Unreadable:
      err << "kvxdb: cannot read " << path << "\n";
      return false;
  }
  if (!LooksLikeDatabase(text)) {
    err << "kvxdb: " << path << " is not a threat database of this build's language key\n";
    return false;
  }
  return true;
}

// "command IN OUT [flag]": the two files, and whether the flag was given.
bool TwoFilesAndFlag(const std::vector<std::string>& a, const char* flag,
                     std::vector<std::string>& files, bool& flagged) {
  flagged = false;
  files.clear();
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (a[i] == flag)
      flagged = true;
    else
      files.push_back(a[i]);
  }
  return files.size() == 2;
}

int Pack(platform::FileSystem& fs, const std::vector<std::string>& a, std::ostream& err) {
  bool plain = false;
  std::vector<std::string> files;
  if (!TwoFilesAndFlag(a, "--no-compress", files, plain)) {
    err << kUsage;
    return 2;
  }
  const bool compress = !plain;
  std::string raw, text;
  if (!ReadFile(fs, files[0], raw, err)) return 1;
  if (auto problem = Normalize(raw, text); !problem.empty()) {
    err << "kvxdb: " << files[0] << ": " << problem << "\n";
    return 1;
  }
  auto firstLine = text.substr(0, text.find('\r'));
  if (firstLine.size() != 33)
    err << "kvxdb: warning: the date line has " << firstLine.size()
        << " characters; incremental updates need 33\n";
  const std::string image = engine::PackDatabase(text, update::LanguageKey(), compress);
  if (image.empty()) {
    err << "kvxdb: cannot compress " << files[0] << "\n";
    return 1;
  }
  return WriteFile(fs, files[1], image, err) ? 0 : 1;
}

int Rules(platform::FileSystem& fs, const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
  engine::ScanRoots roots{"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files"};
  std::string in;
  for (std::size_t i = 1; i < a.size(); ++i) {
    auto value = [&](std::string& to) {
      if (i + 1 >= a.size()) return false;
      to = a[++i];
      return true;
    };
    bool ok = true;
    if (a[i] == "--windir")
      ok = value(roots.windowsDir);
    else if (a[i] == "--sysdir")
      ok = value(roots.systemDir);
    else if (a[i] == "--programfiles")
      ok = value(roots.programFiles);
    else if (in.empty() && a[i].rfind("--", 0) != 0)
      in = a[i];
    else
      ok = false;
    if (!ok) {
      err << kUsage;
      return 2;
    }
  }
  if (in.empty()) {
    err << kUsage;
    return 2;
  }
  std::string text;
  if (!Unpack(fs, in, text, err)) return 1;
  engine::ThreatDatabase db;
  db.SetText(std::move(text));
  engine::RuleWalker walker(db, roots);
  engine::RulePass pass;
  while (walker.Next(pass)) {
    const auto& r = pass.rule;
    out << engine::RuleKindName(r.Kind()) << '\t' << r.name << '\t' << r.hash << '\t' << r.dir
        << '\t' << r.file << '\t' << (r.noProcessLookup ? '1' : '0') << '\n';
  }
  return 0;
}

// Windows-1252 bytes 0x80 to 0x9F and the characters they stand for. The
// five bytes the code page leaves undefined stand for the control characters
// of the same number, as Windows converts them, so they survive a round trip.

bool Utf8ToCp1252(const std::string& in, std::string& out, std::string& problem) {
  out.clear();
  for (std::size_t i = 0; i < in.size();) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    char32_t cp;
    int extra;
    if (c < 0x80) {
      cp = c;
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      problem = "byte " + std::to_string(i) + " is not UTF-8";
      return false;
    }
    if (i + extra >= in.size()) {
      problem = "the text ends inside a UTF-8 character";
      return false;
    }
    for (int k = 1; k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(in[i + k]);
      if ((cc & 0xC0) != 0x80) {
        problem = "byte " + std::to_string(i + k) + " is not UTF-8";
        return false;
      }
      cp = cp << 6 | (cc & 0x3F);
    }
    i += 1 + extra;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    int found = -1;
    for (int k = 0; k < 32; ++k)
      if (platform::Cp1252HighCodePoint(static_cast<unsigned char>(0x80 + k)) == cp) found = k;
    if (found < 0) {
      problem = "character U+" + std::to_string(static_cast<unsigned long>(cp)) +
                " has no Windows-1252 byte";
      return false;
    }
    out += static_cast<char>(0x80 + found);
  }
  return true;
}


// Whether the program finds the line its texts start after.
bool HasBeginLine(std::string_view text) {
  std::size_t position = 0;
  return engine::SkipPastLine(text, position, "begin():");
}

// Language files: CR LF lines, enciphered whole.
int LangPack(platform::FileSystem& fs, const std::vector<std::string>& a, bool pack,
             std::ostream& err) {
  bool utf8 = false;
  std::vector<std::string> files;
  if (!TwoFilesAndFlag(a, "--utf8", files, utf8)) {
    err << kUsage;
    return 2;
  }
  std::string bytes;
  if (!ReadFile(fs, files[0], bytes, err)) return 1;
  if (pack) {
    std::string text;
    if (utf8) {
      std::string problem;
      if (!Utf8ToCp1252(bytes, text, problem)) {
        err << "kvxdb: " << files[0] << ": " << problem << "\n";
        return 1;
      }
    } else {
      text = bytes;
    }
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
      lines += text[i] == '\n' ? std::string("\r\n") : std::string(1, text[i]);
    }
    if (!HasBeginLine(lines)) {
      err << "kvxdb: " << files[0] << " has no \"begin():\" line\n";
      return 1;
    }
    update::EncipherInPlace(lines, update::LanguageKey());
    return WriteFile(fs, files[1], lines, err) ? 0 : 1;
  }
  update::DecipherInPlace(bytes, update::LanguageKey());
  if (!HasBeginLine(bytes)) {
    err << "kvxdb: " << files[0] << " is not a language file of this build's language key\n";
    return 1;
  }
  const std::string out = utf8 ? platform::Cp1252ToUtf8(bytes, /*keepUndefined=*/true) : bytes;
  return WriteFile(fs, files[1], out, err) ? 0 : 1;
}

// Stored copies carry no header: any bytes are a stored copy, so what can
// go wrong is reading, writing and the cipher library.
int Quarantine(platform::FileSystem& fs, const std::vector<std::string>& a,
               quarantine::Direction direction, std::ostream& err) {
  if (a.size() != 3) {
    err << kUsage;
    return 2;
  }
  if (!platform::FileExists(fs, a[1])) {
    err << "kvxdb: " << a[1] << " is not a file\n";
    return 1;
  }
  std::string bytes;
  if (!ReadFile(fs, a[1], bytes, err)) return 1;
  if (!quarantine::TransformBytes(bytes, direction)) {
    err << "kvxdb: the Blowfish cipher of libgcrypt cannot be set up\n";
    return 1;
  }
  return WriteFile(fs, a[2], bytes, err) ? 0 : 1;
}

// Reads a file of at most `cap` bytes, naming what was too large.
bool ReadCapped(platform::FileSystem& fs, const std::string& path, std::uint64_t cap,
                const char* capText, std::string& bytes, std::ostream& err) {
  const platform::Status s = platform::ReadWholeFile(fs, path, bytes, cap);
  if (s == platform::kFileTooLarge)
    err << "kvxdb: " << path << " is larger than " << capText << "\n";
  else if (s != platform::kOk)
    err << "kvxdb: cannot read " << path << "\n";
  return s == platform::kOk;
}

int Keygen(platform::FileSystem& fs, const std::vector<std::string>& a, std::ostream& out,
           std::ostream& err) {
  if (a.size() != 3) {
    err << kUsage;
    return 2;
  }
  // A lost signing key cannot be had back: never write over one.
  for (std::size_t i = 1; i <= 2; ++i) {
    if (platform::FileExists(fs, a[i])) {
      err << "kvxdb: " << a[i] << " already exists; keygen never replaces a key\n";
      return 1;
    }
  }
  const auto pair = update::GenerateKeyPair();
  if (!pair) {
    err << "kvxdb: the Ed25519 key pair of libgcrypt cannot be made\n";
    return 1;
  }
  if (!WriteFile(fs, a[1], pair->secretHex + "\r\n", err) ||
      !WriteFile(fs, a[2], pair->publicHex + "\r\n", err))
    return 1;
  out << "public key (the build setting KVX_UPDATE_PUBLIC_KEY): " << pair->publicHex << "\n";
  return 0;
}

// A decimal number of 1 to 10 digits that fits the DWORD the program keeps.
bool ParseSerial(const std::string& text, std::uint32_t& serial) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + std::uint64_t(c - '0');
  }
  if (n > 0xFFFFFFFFu) return false;
  serial = static_cast<std::uint32_t>(n);
  return true;
}

int SignList(platform::FileSystem& fs, const std::vector<std::string>& a, std::ostream& out,
             std::ostream& err) {
  if (a.size() < 5) {
    err << kUsage;
    return 2;
  }
  const std::string &secretPath = a[1], &listPath = a[2], &sigPath = a[3];
  std::uint32_t serial = 0;
  if (!ParseSerial(a[4], serial)) {
    err << "kvxdb: the serial \"" << a[4] << "\" is not a number from 0 to 4294967295\n";
    return 2;
  }
  std::string secret, list;
  if (!ReadCapped(fs, secretPath, update::kSignatureCap, "a key", secret, err)) return 1;
  if (!update::ParseKeyText(secret)) {
    err << "kvxdb: " << secretPath << " is not a secret key (64 hexadecimal digits)\n";
    return 1;
  }
  if (!ReadCapped(fs, listPath, update::kListCap, "64 KiB, the most the program downloads of a list",
                  list, err))
    return 1;
  const update::UpdateList parsed = update::ParseUpdateList(list);
  if (!parsed.Usable()) {
    err << "kvxdb: " << listPath << " is not an update list: its first line is not \""
        << update::kProductLine << "\"\n";
    return 1;
  }
  // Computers that took the list before keep its serial and refuse a lower one.
  if (parsed.serial && serial < *parsed.serial) {
    err << "kvxdb: serial " << serial << " is below the list's serial " << *parsed.serial
        << ": computers that took that list would refuse this one\n";
    return 1;
  }
  std::vector<std::pair<std::string, std::string>> digests;
  for (std::size_t i = 5; i < a.size(); ++i) {
    const auto eq = a[i].find('=');
    const std::string file = a[i].substr(0, eq);
    if (eq == std::string::npos || file.empty() || file[0] != '/' ||
        file.find_first_of(" \r\n") != std::string::npos || eq + 1 == a[i].size()) {
      err << "kvxdb: \"" << a[i] << "\" is not FILE=PATH with FILE a server path (\"/updr2/...\")\n";
      return 2;
    }
    // Larger than the program downloads of its kind is never downloaded.
    const bool package = file.rfind("/updr2/upd/", 0) == 0;
    std::string bytes;
    if (!ReadCapped(fs, a[i].substr(eq + 1), package ? update::kPackageCap : update::kDatabaseCap,
                    package ? "16 MiB, the most the program downloads of a package"
                            : "64 MiB, the most the program downloads of a file",
                    bytes, err))
      return 1;
    for (const auto& [named, digest] : digests) {
      if (named == file) {
        err << "kvxdb: " << file << " is named twice\n";
        return 2;
      }
    }
    digests.emplace_back(file, update::Sha256Hex(bytes));
  }
  const std::string sealed = update::SealList(list, serial, digests);
  if (sealed.size() > update::kListCap) {
    err << "kvxdb: the signed list would be larger than 64 KiB, the most the program downloads\n";
    return 1;
  }
  const std::string signature = update::SignHex(secret, sealed);
  if (signature.empty()) {
    err << "kvxdb: the list cannot be signed with " << secretPath << "\n";
    return 1;
  }
  if (!WriteFile(fs, listPath, sealed, err) || !WriteFile(fs, sigPath, signature + "\r\n", err))
    return 1;
  out << "signed " << listPath << " (serial " << serial << ", " << digests.size()
      << " hash lines); publish it as /updr2/list.htm and " << sigPath << " as /updr2/list.sig\n";
  return 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return Run(*CreateHostFileSystem(), args, out, err);
}

int Run(platform::FileSystem& fs, const std::vector<std::string>& args, std::ostream& out,
        std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return 2;
  }
  const std::string& cmd = args[0];
  if (cmd == "pack") return Pack(fs, args, err);
  if (cmd == "unpack") {
    if (args.size() != 3) {
      err << kUsage;
      return 2;
    }
    std::string text;
    if (!Unpack(fs, args[1], text, err)) return 1;
    return WriteFile(fs, args[2], text, err) ? 0 : 1;
  }
  if (cmd == "rules") return Rules(fs, args, out, err);
  if (cmd == "lang-pack") return LangPack(fs, args, true, err);
  if (cmd == "lang-unpack") return LangPack(fs, args, false, err);
  if (cmd == "quarantine-decode") return Quarantine(fs, args, quarantine::Direction::Forward, err);
  if (cmd == "quarantine-encode") return Quarantine(fs, args, quarantine::Direction::Inverse, err);
  if (cmd == "keygen") return Keygen(fs, args, out, err);
  if (cmd == "sign-list") return SignList(fs, args, out, err);
  err << "kvxdb: unknown command \"" << cmd << "\"\n" << kUsage;
  return 2;
}

}  // namespace kvxdb
