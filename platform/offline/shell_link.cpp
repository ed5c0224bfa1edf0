#include "platform/offline/shell_link.h"

#include <liblnk.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace platform::offline {
namespace {

// liblnk reads a file by name: the bytes go into an anonymous memory file,
// never onto a disk.
class MemoryFile {
 public:
  explicit MemoryFile(std::string_view bytes) {
    fd_ = ::memfd_create("kvx-link", MFD_CLOEXEC);
    if (fd_ < 0) return;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  std::string Name() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_ = -1;
};

class Link {
 public:
  ~Link() {
    if (file_) {
      if (open_) liblnk_file_close(file_, nullptr);
      liblnk_file_free(&file_, nullptr);
    }
  }
  bool Open(const std::string& name, int codePage) {
    if (liblnk_file_initialize(&file_, nullptr) != 1) return false;
    liblnk_file_set_ascii_codepage(file_, codePage, nullptr);  // an unknown one keeps the default
    liblnk_error_t* error = nullptr;
    open_ = liblnk_file_open(file_, name.c_str(), LIBLNK_OPEN_READ, &error) == 1;
    if (error) liblnk_error_free(&error);
    return open_;
  }
  // One of the link's UTF-16 strings as little-endian bytes, without its
  // terminator; nullopt when the link has none.
  template <class SizeFn, class GetFn>
  std::optional<std::string> Text(SizeFn sizeOf, GetFn get) {
    std::size_t size = 0;
    if (sizeOf(file_, &size, nullptr) != 1 || size == 0 || size > kLargestShellLink) return std::nullopt;
    std::vector<std::uint16_t> units(size);
    if (get(file_, units.data(), size, nullptr) != 1) return std::nullopt;
    std::string bytes;
    for (std::uint16_t u : units) {
      if (u == 0) break;
      bytes += static_cast<char>(u & 0xFF);
      bytes += static_cast<char>(u >> 8);
    }
    return bytes;
  }

 private:
  liblnk_file_t* file_ = nullptr;
  bool open_ = false;
};

void Put16(std::string& b, std::uint16_t v) {
  b += static_cast<char>(v & 0xFF);
  b += static_cast<char>(v >> 8);
}

void Put32(std::string& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b += static_cast<char>(v >> (8 * i) & 0xFF);
}

}  // namespace

std::optional<std::string> ShellLinkTarget(std::string_view bytes, const CodePage& codePage) {
  if (bytes.size() > kLargestShellLink) return std::nullopt;
  MemoryFile memory(bytes);
  Link link;
  if (!memory.Ok() || !link.Open(memory.Name(), static_cast<int>(codePage.Number())))
    return std::nullopt;
  for (auto text : {link.Text(liblnk_file_get_utf16_local_path_size, liblnk_file_get_utf16_local_path),
                    link.Text(liblnk_file_get_utf16_network_path_size,
                              liblnk_file_get_utf16_network_path)}) {
    if (text && !text->empty()) return codePage.FromUtf16(*text);
  }
  return std::string();
}

std::string MakeShellLink(std::string_view target, const CodePage& codePage) {
  std::string link;
  // ShellLinkHeader: size, the shell link class, flags HasLinkInfo |
  // IsUnicode, archive attribute, no times or size, icon 0, show normally.
  Put32(link, 0x4C);
  link += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
  Put32(link, 0x02 | 0x80);
  Put32(link, 0x20);
  link.append(8 * 3 + 4 + 4, '\0');
  Put32(link, 1);
  link.append(2 + 2 + 4 + 4, '\0');

  // LinkInfo with the volume of a fixed disk and the local path, in the
  // code page (what fits) and in Unicode.
  // (A path the code page cannot hold has only its Unicode form.)
  const std::string ansi = CodePage::HasEscape(target) ? std::string() : std::string(target);
  const std::string unicode = codePage.ToUtf16(target) + std::string(2, '\0');
  std::string volume;
  Put32(volume, 0x11);
  Put32(volume, 3);  // DRIVE_FIXED
  Put32(volume, 0);
  Put32(volume, 0x10);
  volume += '\0';
  const std::uint32_t header = 0x24;
  const std::uint32_t volumeAt = header;
  const std::uint32_t pathAt = volumeAt + static_cast<std::uint32_t>(volume.size());
  const std::uint32_t suffixAt = pathAt + static_cast<std::uint32_t>(ansi.size()) + 1;
  const std::uint32_t pathUnicodeAt = suffixAt + 1;
  const std::uint32_t suffixUnicodeAt = pathUnicodeAt + static_cast<std::uint32_t>(unicode.size());
  const std::uint32_t size = suffixUnicodeAt + 2;
  Put32(link, size);
  Put32(link, header);
  Put32(link, 1);  // VolumeIDAndLocalBasePath
  Put32(link, volumeAt);
  Put32(link, pathAt);
  Put32(link, 0);
  Put32(link, suffixAt);
  Put32(link, pathUnicodeAt);
  Put32(link, suffixUnicodeAt);
  link += volume;
  link += ansi;
  link += '\0';
  link += '\0';  // empty common path suffix
  link += unicode;
  Put16(link, 0);
  Put32(link, 0);  // terminal block
  return link;
}

}  // namespace platform::offline
