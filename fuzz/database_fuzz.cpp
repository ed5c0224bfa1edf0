// The threat database as it arrives from outside: a stored "files.dat" is
// deciphered, decompressed when it is a bzip2 stream, its date read and every
// rule line walked and parsed as the quick scan does.
//
// The first byte chooses what the rest is: bit 0 clear, the stored bytes as
// they come off the disk; set, the deciphered bytes (a bzip2 stream or plain
// text), enciphered here first so the fuzzer reaches past the cipher. Bit 1
// also checks that deciphering undoes enciphering.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/rules.h"
#include "engine/threat_database.h"
#include "update/ezcrypt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const update::EzKey key = update::LanguageKey();
  const std::string given(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string image = given;
  if (data[0] & 1) update::EncipherInPlace(image, key);
  if (data[0] & 2) {
    std::string back = image;
    update::DecipherInPlace(back, key);
    if ((data[0] & 1) && back != given) __builtin_trap();
  }

  engine::ThreatDatabase db;
  if (db.LoadBytes(std::move(image), key) != engine::LoadResult::Ok) return 0;
  db.Date("Error");
  engine::RuleWalker walker(db, {"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files"});
  engine::RulePass pass;
  // The walk is linear in the text; a text at the cap holds millions of
  // lines, more than one run should spend its time on.
  for (int n = 0; n < 100000 && walker.Next(pass); ++n) engine::RuleKindName(pass.rule.Kind());
  return 0;
}
