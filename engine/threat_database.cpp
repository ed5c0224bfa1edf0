#include "engine/threat_database.h"

#include <bzlib.h>

#include <cstring>
#include <new>
#include <vector>

namespace engine {
namespace {

constexpr std::size_t kLineWindow = 255;
constexpr std::size_t kBlock = 65536;

bool HasBzip2Magic(std::string_view b) {
  return b.size() >= 4 && b[0] == 'B' && b[1] == 'Z' && b[2] == 'h' && b[3] >= '1' && b[3] <= '9';
}

// One bzip2 stream, read out in 64 KiB blocks. Damaged when the data is not
// a complete, sound stream; TooLarge as soon as the text passes maxText.
LoadResult Bunzip(std::string_view in, std::string& out, std::size_t maxText) {
  if (in.size() > kMaxDatabaseBytes) return LoadResult::TooLarge;
  bz_stream s;
  std::memset(&s, 0, sizeof(s));
  if (int rc = BZ2_bzDecompressInit(&s, 0, 0); rc != BZ_OK)
    return rc == BZ_MEM_ERROR ? LoadResult::OutOfMemory : LoadResult::Damaged;
  struct End {
    bz_stream& s;
    ~End() { BZ2_bzDecompressEnd(&s); }  // also when an append throws
  } end{s};
  s.next_in = const_cast<char*>(in.data());
  s.avail_in = static_cast<unsigned>(in.size());
  std::vector<char> block(kBlock);
  std::string result;
  int rc = BZ_OK;
  while (rc == BZ_OK) {
    s.next_out = block.data();
    s.avail_out = static_cast<unsigned>(block.size());
    rc = BZ2_bzDecompress(&s);
    const std::size_t n = block.size() - s.avail_out;
    if (n > maxText - result.size()) return LoadResult::TooLarge;
    result.append(block.data(), n);
    if (rc == BZ_OK && s.avail_in == 0 && s.avail_out != 0) {
      rc = BZ_UNEXPECTED_EOF;  // input ended inside the stream
    }
  }
  if (rc == BZ_MEM_ERROR) return LoadResult::OutOfMemory;
  if (rc != BZ_STREAM_END) return LoadResult::Damaged;
  out = std::move(result);
  return LoadResult::Ok;
}

}  // namespace

std::string_view ReadTextLineView(std::string_view data, std::size_t& position) {
  static constexpr std::string_view kEnd = "_end";
  if (position >= data.size()) return kEnd;
  std::string_view window = data.substr(position, kLineWindow);
  std::size_t cr = window.find('\r');
  std::string_view line;
  if (cr == std::string_view::npos) {
    // No line end within reach: take what was read and go on after it.
    line = window;
    position += window.size();
  } else {
    line = window.substr(0, cr);
    position += cr + 2;  // the CR and the byte after it
  }
  if (position >= data.size()) return kEnd;
  return line;
}

std::string ReadTextLine(std::string_view data, std::size_t& position) {
  return std::string(ReadTextLineView(data, position));
}

bool SkipPastLine(std::string_view data, std::size_t& position, std::string_view line) {
  while (position < data.size())
    if (ReadTextLine(data, position) == line) return true;
  return false;
}

LoadResult UnpackDatabase(std::string image, const update::EzKey& key, std::string& text,
                          std::size_t maxText) {
  update::DecipherInPlace(image, key);
  if (!HasBzip2Magic(image)) {
    if (image.size() > maxText) return LoadResult::TooLarge;
    text = std::move(image);  // enciphered only: the plain text
    return LoadResult::Ok;
  }
  try {
    return Bunzip(image, text, maxText);
  } catch (const std::bad_alloc&) {
    return LoadResult::OutOfMemory;
  }
}

std::string PackDatabase(std::string_view text, const update::EzKey& key, bool compress) {
  std::string out;
  if (compress) {
    // bzip2's worst case: 1% more plus 600 bytes.
    unsigned len = static_cast<unsigned>(text.size() + text.size() / 100 + 601);
    out.resize(len);
    if (BZ2_bzBuffToBuffCompress(out.data(), &len, const_cast<char*>(text.data()),
                                 static_cast<unsigned>(text.size()), 9, 0, 0) != BZ_OK)
      return {};
    out.resize(len);
  } else {
    out.assign(text);
  }
  update::EncipherInPlace(out, key);
  return out;
}

LoadResult ThreatDatabase::Load(platform::FileSystem& fs, std::string_view path,
                                const update::EzKey& key) {
  std::string image;
  switch (platform::ReadWholeFile(fs, path, image, kMaxDatabaseBytes)) {
    case platform::kOk:
      return LoadBytes(std::move(image), key);
    case platform::kFileTooLarge:
      return LoadResult::TooLarge;
    case platform::kNotEnoughMemory:
      return LoadResult::OutOfMemory;
    default:
      return LoadResult::Unreadable;
  }
}

LoadResult ThreatDatabase::LoadBytes(std::string image, const update::EzKey& key) {
  std::string text;
  LoadResult r = UnpackDatabase(std::move(image), key, text);
  if (r == LoadResult::Ok) SetText(std::move(text));
  return r;
}

void ThreatDatabase::SetText(std::string text) {
  text_ = std::move(text);
  position_ = 0;
  loaded_ = true;
}

std::string ThreatDatabase::ReadLine() { return ReadTextLine(text_, position_); }
std::string_view ThreatDatabase::ReadLineView() { return ReadTextLineView(text_, position_); }

std::string ThreatDatabase::Date(std::string_view errorText) {
  if (!loaded_) return std::string(errorText);
  // Its own position: showing the date while a scan walks the text must not
  // move the scan back to the top.
  std::size_t first = 0;
  return ReadTextLine(text_, first);
}

std::string LoadProblem(LoadResult result) {
  switch (result) {
    case LoadResult::Ok: return "";
    case LoadResult::Unreadable: return "is missing or cannot be read.";
    case LoadResult::Damaged: return "is damaged.";
    case LoadResult::TooLarge:
      return "is larger than 64 MB, far more than any threat database, and was not loaded.";
    case LoadResult::OutOfMemory: return "could not be loaded: there is not enough memory.";
  }
  return "cannot be read.";
}

}  // namespace engine
