#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "quarantine/quarantine_store.h"
#include "tests/unit/sim_fixture.h"
#include "tools/kvxdb/kvxdb.h"

namespace {

// The support tool turns the store's own copies back and makes the same
// copies the store makes.
class KvxdbQuarantineTest : public SimFixture {
 protected:
  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return kvxdb::Run(args, out, err);
  }
  std::string Host(const char* name) { return (root / name).string(); }
  std::string Get(const char* name) {
    std::ifstream in(Host(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::ostringstream out, err;
};

TEST_F(KvxdbQuarantineTest, DecodeAndEncode) {
  std::string sample(4099, '\0');
  for (std::size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<char>(i ^ (i >> 3));
  WriteFile("C:\\Samples\\sample.exe", sample);
  quarantine::QuarantineStore store(machine.Files(), "C:\\Kvx\\");
  std::filesystem::create_directories(root / "Kvx");
  ASSERT_TRUE(store.Add("C:\\Samples\\sample.exe", "T", ""));

  ASSERT_EQ(Run({"quarantine-decode", Host("Kvx/Quarantine/sample.exe"), Host("back.exe")}), 0)
      << err.str();
  EXPECT_EQ(Get("back.exe"), sample);
  ASSERT_EQ(Run({"quarantine-encode", Host("back.exe"), Host("again.bin")}), 0) << err.str();
  EXPECT_EQ(Get("again.bin"), Get("Kvx/Quarantine/sample.exe"));
  EXPECT_FALSE(std::filesystem::exists(Host("again.bin.tmp")));
}

TEST_F(KvxdbQuarantineTest, BadInput) {
  struct {
    std::vector<std::string> args;
    int code;
    std::string message;
  } cases[] = {
      {{"quarantine-decode", Host("missing.bin"), Host("out.bin")}, 1,
       "kvxdb: " + Host("missing.bin") + " is not a file\n"},
      {{"quarantine-encode", Host("WINDOWS"), Host("out.bin")}, 1,
       "kvxdb: " + Host("WINDOWS") + " is not a file\n"},
      {{"quarantine-decode", Host("WINDOWS/system32/../x")}, 2, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), c.code) << c.args[1];
    if (!c.message.empty()) {
      EXPECT_EQ(err.str(), c.message);
    }
    EXPECT_FALSE(std::filesystem::exists(Host("out.bin")));
  }
  // An output that cannot be written.
  WriteFile("C:\\in.bin", "12345678");
  EXPECT_EQ(Run({"quarantine-encode", Host("in.bin"), Host("no/such/folder/out.bin")}), 1);
  EXPECT_EQ(err.str(), "kvxdb: cannot write " + Host("no/such/folder/out.bin") + "\n");
}

}  // namespace
