#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/kvxdb/kvxdb.h"

namespace fs = std::filesystem;

namespace {

class KvxdbTest : public ::testing::Test {
 protected:
  KvxdbTest() {
    char tmpl[] = "/tmp/kvx-db-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  ~KvxdbTest() override { fs::remove_all(dir); }

  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return kvxdb::Run(args, out, err);
  }
  std::string P(const char* name) { return (dir / name).string(); }
  void Put(const char* name, const std::string& bytes) {
    std::ofstream(P(name), std::ios::binary) << bytes;
  }
  std::string Get(const char* name) {
    std::ifstream in(P(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir;
  std::ostringstream out, err;
};

const char* kText =
    "Database date: 2026-12-01 (r0001)\n"
    "[Start]\n"
    "/0123456789abcdef0123456789abcdef/[H]::\n"
    "[I]::\n"
    "[Win32Root]\n"
    "[F]:fold\\\\\n"
    "[]:x.y.exe\n"
    "[System32Root]\n"
    "[N]:a/0/b.dll\n"
    "_end\n";

TEST_F(KvxdbTest, PackUnpackAndRules) {
  Put("files.txt", kText);
  for (const char* mode : {"", "--no-compress"}) {
    std::vector<std::string> args{"pack", P("files.txt"), P("files.dat")};
    if (*mode) args.push_back(mode);
    ASSERT_EQ(Run(args), 0) << err.str();
    EXPECT_EQ(err.str(), "");
    ASSERT_EQ(Run({"unpack", P("files.dat"), P("back.txt")}), 0) << err.str();
    std::string crlf;
    for (char c : std::string(kText)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(Get("back.txt"), crlf);
  }
  ASSERT_EQ(Run({"rules", P("files.dat"), "--windir", "D:\\W", "--sysdir", "D:\\W\\S"}), 0);
  EXPECT_EQ(out.str(),
            "hash\tH\t0123456789abcdef0123456789abcdef\t\t\t0\n"
            "inert\tI\t\t\t\t0\n"
            "folder\tF\t\tD:\\W\\fold\t\t0\n"
            "file\tSys32.x.y\t\tD:\\W\tx.y.exe\t0\n"
            "file\tN\t\tD:\\W\\S\tab.dll\t1\n");
  ASSERT_EQ(Run({"rules", P("files.dat")}), 0);
  EXPECT_NE(out.str().find("folder\tF\t\tC:\\WINDOWS\\fold\t\t0\n"), std::string::npos);
}

TEST_F(KvxdbTest, BadInputWritesNothing) {
  Put("noise.dat", std::string(200, '\x17'));
  Put("nofinal.txt", "date\n[A]:a.exe\n");
  Put("long.txt", "date\n" + std::string(300, 'x') + "\n_end\n");
  struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"unpack", P("missing.dat"), P("out")}, "cannot read"},
      {{"unpack", P("noise.dat"), P("out")}, "is not a threat database"},
      {{"rules", P("noise.dat")}, "is not a threat database"},
      {{"pack", P("nofinal.txt"), P("out")}, "the last line must be \"_end\""},
      {{"pack", P("long.txt"), P("out")}, "line 2 is longer than 254 characters"},
      {{"pack", P("missing.txt"), P("out")}, "cannot read"},
      {{"frobnicate"}, "unknown command"},
      {{"rules"}, "usage"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(Run(c.args), 0) << c.message;
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(P("out"))) << c.message;
  }
}

}  // namespace
