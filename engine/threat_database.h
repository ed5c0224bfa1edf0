#pragma once
// The threat database: the rule text that drives the quick scan, held in
// memory as one stream of bytes with a read position.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "update/ezcrypt.h"

namespace engine {

enum class LoadResult {
  Ok,
  Unreadable,   // the file could not be opened or read
  Damaged,      // a compressed database whose bzip2 stream is broken
  TooLarge,     // the file or its text is above kMaxDatabaseBytes
  OutOfMemory,  // memory for the text could not be had
};

// The largest stored database and the largest text one may decompress to:
// real databases hold well under a megabyte of text, and the cap keeps a
// small hostile file from unpacking to gigabytes.
inline constexpr std::size_t kMaxDatabaseBytes = 64u << 20;

// What went wrong, as the words that follow the database's name in a message
// ("is damaged."); empty for Ok.
std::string LoadProblem(LoadResult result);

class ThreatDatabase {
 public:
  // Reads a stored "files.dat" and replaces the text with what it holds. On
  // any failure, a failed allocation included, the previous text stays.
  LoadResult Load(platform::FileSystem& fs, std::string_view path, const update::EzKey& key);
  // The same from the stored bytes.
  LoadResult LoadBytes(std::string image, const update::EzKey& key);
  // Replaces the text directly (an update merged in memory).
  void SetText(std::string text);

  // The next line from the current position; "_end" for the last line of
  // the text and for every read after it.
  std::string ReadLine();
  // The same line without a copy: valid until the text changes.
  std::string_view ReadLineView();
  // Line 1, read without moving the reading position; errorText when no
  // database was loaded.
  std::string Date(std::string_view errorText);

  void SetPosition(std::size_t p) { position_ = p; }
  std::size_t Position() const { return position_; }
  const std::string& Text() const { return text_; }
  bool Loaded() const { return loaded_; }

 private:
  std::string text_;
  std::size_t position_ = 0;
  bool loaded_ = false;
};

// The line reader over any byte buffer with a position (the database and
// the language files share it).
std::string ReadTextLine(std::string_view data, std::size_t& position);
// The same as a view into data (or of "_end").
std::string_view ReadTextLineView(std::string_view data, std::size_t& position);
// Reads lines until one reads exactly `line` and stays after it; false when
// none does (a language file's "begin():" line).
bool SkipPastLine(std::string_view data, std::size_t& position, std::string_view line);

// Stored form of a database text: bzip2, then EZCrypt (or EZCrypt alone);
// empty when compressing fails.
std::string PackDatabase(std::string_view text, const update::EzKey& key, bool compress = true);
// Deciphers and, when it is a bzip2 stream, decompresses; Damaged when the
// stream is broken, TooLarge when its text would pass maxText. text changes
// only on Ok.
LoadResult UnpackDatabase(std::string image, const update::EzKey& key, std::string& text,
                          std::size_t maxText = kMaxDatabaseBytes);

}  // namespace engine
