// Damaged and hostile files: caps, failed allocations and failed reads never
// cost the state the program already had.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/helpers.h"
#include "engine/threat_database.h"
#include "tests/unit/allocation_failure.h"
#include "tests/unit/program_fixture.h"

#if defined(__GNUC__) && !defined(__clang__)
// The replacements below pair malloc and free themselves.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<std::size_t> gFailFrom{0};  // 0: every allocation is served
}  // namespace

FailAllocations::FailAllocations(std::size_t fromBytes) { gFailFrom = fromBytes; }
FailAllocations::~FailAllocations() { gFailFrom = 0; }

void* operator new(std::size_t n) {
  const std::size_t from = gFailFrom.load(std::memory_order_relaxed);
  if (from != 0 && n >= from) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The library's temporary buffers come from the nothrow forms: they must
// pair with the same malloc and free.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return operator new(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using engine::LoadResult;
using engine::ThreatDatabase;

constexpr const char* kPrevious = "previous\r\n[A]:a.exe\r\n_end\r\n";

class HostileInputTest : public ProgramFixture {
 protected:
  void PutDatabase(const std::string& path, std::string_view text, bool compress = true) {
    WriteFile(path, engine::PackDatabase(text, update::LanguageKey(), compress));
  }
  ThreatDatabase PreviousDatabase() {
    ThreatDatabase db;
    db.SetText(kPrevious);
    return db;
  }
  // Starts the program expecting exactly this warning about its database.
  void StartExpectingDatabaseBox(const std::string& box) {
    host.Answer(ui::kIdOk, box, "Klaruvex Pro");
    auto p = StartProgram();
    EXPECT_EQ(host.PendingAnswers(), 0u);
    EXPECT_EQ(p->form1->Label2->Caption(), "Last Update: Error");
  }
};

TEST_F(HostileInputTest, DatabaseTextIsCappedAt64MiB) {
  ASSERT_EQ(engine::kMaxDatabaseBytes, 64u << 20);
  const auto key = update::LanguageKey();
  // A few dozen stored bytes that decompress to one byte more than the cap.
  const std::string bomb = engine::PackDatabase(std::string((64u << 20) + 1, 'A'), key);
  ASSERT_LT(bomb.size(), 1000u);
  ThreatDatabase db = PreviousDatabase();
  EXPECT_EQ(db.LoadBytes(bomb, key), LoadResult::TooLarge);
  EXPECT_EQ(db.Text(), kPrevious);

  // Exactly at the cap loads; a file above it is refused before it is read.
  EXPECT_EQ(db.LoadBytes(engine::PackDatabase(std::string(64u << 20, 'B'), key, false), key),
            LoadResult::Ok);
  EXPECT_EQ(db.Text().size(), 64u << 20);
  const std::string path = std::string(kFolder) + "files.dat";
  WriteFile(path, "");
  std::filesystem::resize_file(machine.SimFiles().HostPath(path), (64u << 20) + 1);
  db = PreviousDatabase();
  EXPECT_EQ(db.Load(machine.Files(), path, key), LoadResult::TooLarge);
  EXPECT_EQ(db.Text(), kPrevious);

  StartExpectingDatabaseBox("The threat database \"" + path +
                            "\" is larger than 64 MB, far more than any threat database, and was "
                            "not loaded. Scans find nothing until the database is updated.");
}

TEST_F(HostileInputTest, AllocationFailureKeepsThePreviousDatabaseAndIsTold) {
  const std::string path = std::string(kFolder) + "files.dat";
  const std::string big = "Big date\r\n" + std::string(2u << 20, 'x') + "\r\n_end\r\n";
  const auto key = update::LanguageKey();
  for (bool compress : {true, false}) {
    PutDatabase(path, big, compress);
    ThreatDatabase db = PreviousDatabase();
    {
      FailAllocations fail(1u << 20);
      EXPECT_EQ(db.Load(machine.Files(), path, key), LoadResult::OutOfMemory) << compress;
    }
    EXPECT_EQ(db.Text(), kPrevious);
    EXPECT_EQ(db.Date("Error"), "previous");
    EXPECT_EQ(db.Load(machine.Files(), path, key), LoadResult::Ok);  // memory back: it loads
    EXPECT_EQ(db.Text(), big);
  }
  FailAllocations fail(1u << 20);
  StartExpectingDatabaseBox("The threat database \"" + path +
                            "\" could not be loaded: there is not enough memory. Scans find "
                            "nothing until the database is updated.");
}

TEST_F(HostileInputTest, ShortReadIsAnErrorNotAShorterFile) {
  WriteFile("C:\\Data\\file.bin", std::string(300000, 'z'));
  WriteFile("C:\\Data\\abc", "abc");
  machine.SimFiles().FailReads("C:\\Data", 70000);
  std::string out = "before";
  EXPECT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\Data\\file.bin", out),
            platform::kHandleEof);
  EXPECT_EQ(out, "before");
  EXPECT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\Data\\abc", out, 2),
            platform::kFileTooLarge);
  EXPECT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\Data\\abc", out, 3), platform::kOk);
  EXPECT_EQ(out, "abc");

  // The MD5 text of a file whose read fails midway is the digest of no data.
  const std::string noData = engine::Md5Hex("");
  EXPECT_EQ(noData, "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(engine::FileMd5(machine.Files(), "C:\\Data\\file.bin"), noData);
  EXPECT_EQ(engine::FileMd5(machine.Files(), "C:\\Data\\abc"), "900150983cd24fb0d6963f7d28e17f72");
  machine.SimFiles().FailReads("C:\\Data", UINT64_MAX);
  EXPECT_EQ(engine::FileMd5(machine.Files(), "C:\\Data\\file.bin"),
            engine::Md5Hex(std::string(300000, 'z')));
}

}  // namespace
