#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/threat_database.h"
#include "tests/unit/sim_fixture.h"
#include "tools/kvxdb/kvxdb.h"
#include "update/ezcrypt.h"
#include "update/list_signature.h"
#include "update/update_list.h"

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
  // A few KB that would unpack past the 64 MB cap, and a stream cut in half.
  Put("bomb.dat", engine::PackDatabase(std::string(engine::kMaxDatabaseBytes + 1, 'A'),
                                       update::LanguageKey()));
  std::string half = engine::PackDatabase("date\r\n[A]:a.exe\r\n_end\r\n", update::LanguageKey());
  half.resize(half.size() / 2);
  Put("half.dat", half);
  struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"unpack", P("missing.dat"), P("out")}, "cannot read"},
      {{"unpack", P("noise.dat"), P("out")}, "is not a threat database"},
      {{"unpack", P("bomb.dat"), P("out")}, "unpacks to more than 64 MB"},
      {{"rules", P("bomb.dat")}, "unpacks to more than 64 MB"},
      {{"unpack", P("half.dat"), P("out")}, "its compressed data is broken"},
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

TEST_F(KvxdbTest, LanguageFilesKeepEveryByteThroughUtf8) {
  // Every byte from 0x80 up, the five Windows-1252 leaves undefined included.
  std::string high;
  for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
  const std::string text = "Header\r\nbegin():\r\n" + high + "\r\nlast\r\n";
  Put("lang.txt", text);
  ASSERT_EQ(Run({"lang-pack", P("lang.txt"), P("a.vlng")}), 0) << err.str();
  ASSERT_EQ(Run({"lang-unpack", P("a.vlng"), P("utf8.txt"), "--utf8"}), 0) << err.str();
  for (const char* undefined : {"\xC2\x81", "\xC2\x8D", "\xC2\x8F", "\xC2\x90", "\xC2\x9D"})
    EXPECT_NE(Get("utf8.txt").find(undefined), std::string::npos);  // U+0081 and the rest
  ASSERT_EQ(Run({"lang-pack", P("utf8.txt"), P("b.vlng"), "--utf8"}), 0) << err.str();
  EXPECT_EQ(Get("b.vlng"), Get("a.vlng"));
  ASSERT_EQ(Run({"lang-unpack", P("b.vlng"), P("back.txt")}), 0) << err.str();
  EXPECT_EQ(Get("back.txt"), text);
}

TEST_F(KvxdbTest, LanguageFileNeedsAWholeBeginLine) {
  for (const char* text : {"xbegin():\nA\n", "begin():x\nA\n", "begin()\nA\n"}) {
    Put("lang.txt", text);
    EXPECT_EQ(Run({"lang-pack", P("lang.txt"), P("x.vlng")}), 1) << text;
    EXPECT_NE(err.str().find("has no \"begin():\" line"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(P("x.vlng"))) << text;
  }
  for (const char* text : {"begin():\nA\n", "My language\nbegin():\nA\n"}) {
    Put("lang.txt", text);
    EXPECT_EQ(Run({"lang-pack", P("lang.txt"), P("x.vlng")}), 0) << err.str();
  }
}

// kvxdb on the simulated disk, which can run full.
class KvxdbFilesTest : public SimFixture {
 protected:
  int Run(std::vector<std::string> args) {
    err.str("");
    return kvxdb::Run(machine.Files(), args, out, err);
  }
  std::string Read(const std::string& path) {
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(machine.Files(), path, bytes), platform::kOk) << path;
    return bytes;
  }
  std::ostringstream out, err;
};

TEST_F(KvxdbFilesTest, ReplacesItsTargetAndKeepsItWhenWritingFails) {
  WriteFile("C:\\db\\files.txt", kText);
  ASSERT_EQ(Run({"pack", "C:\\db\\files.txt", "C:\\db\\files.dat"}), 0) << err.str();
  const std::string first = Read("C:\\db\\files.dat");
  WriteFile("C:\\db\\files.txt", std::string(kText).replace(0, 8, "Replaced"));
  ASSERT_EQ(Run({"pack", "C:\\db\\files.txt", "C:\\db\\files.dat"}), 0) << err.str();
  const std::string second = Read("C:\\db\\files.dat");
  EXPECT_NE(second, first);

  machine.SimFiles().FailWrites("C:\\db", 20);
  WriteFile("C:\\in\\files.txt", std::string(kText).replace(0, 8, "ThirdOne"));
  EXPECT_EQ(Run({"pack", "C:\\in\\files.txt", "C:\\db\\files.dat", "--no-compress"}), 1);
  EXPECT_EQ(err.str(), "kvxdb: cannot write C:\\db\\files.dat\n");
  EXPECT_EQ(Read("C:\\db\\files.dat"), second);
  EXPECT_FALSE(platform::FileExists(machine.Files(),
                                    platform::ReplacementTempPath("C:\\db\\files.dat")));
}

// The vendor's side of the signed update list: a key pair, then a list
// signed with the serial and the digest of every file it announces.
TEST_F(KvxdbTest, KeygenAndSignListMakeWhatTheProgramChecks) {
  ASSERT_EQ(Run({"keygen", P("vendor.secret"), P("vendor.public")}), 0) << err.str();
  const std::string secret = Get("vendor.secret"), pub = Get("vendor.public");
  ASSERT_EQ(pub.size(), 66u);
  EXPECT_EQ(pub.substr(64), "\r\n");
  EXPECT_EQ(update::PublicKeyOf(secret.substr(0, 64)), pub.substr(0, 64));
  EXPECT_NE(out.str().find(pub.substr(0, 64)), std::string::npos);
  // Never over a key that exists.
  EXPECT_EQ(Run({"keygen", P("vendor.secret"), P("other.public")}), 1);
  EXPECT_EQ(err.str(), "kvxdb: " + P("vendor.secret") + " already exists; keygen never replaces a key\n");
  EXPECT_EQ(Get("vendor.secret"), secret);

  const std::string head = "Klaruvex Pro\r\nDatabase date: 2026-12-01, Upd 123\r\nv7\r\n\r\n0\r\n100\r\n";
  Put("list.htm", head + "expires=2027-06-30\r\nserial=3\r\n");
  Put("files2", "the complete database");
  Put("123", "package 123");
  ASSERT_EQ(Run({"sign-list", P("vendor.secret"), P("list.htm"), P("list.sig"), "4",
                 "/updr2/files2.htm=" + P("files2"), "/updr2/upd/123.htm=" + P("123")}),
            0)
      << err.str();
  const std::string list = Get("list.htm");
  EXPECT_EQ(list, head + "expires=2027-06-30\r\nserial=4\r\n/updr2/files2.htm sha256=" +
                      update::Sha256Hex("the complete database") + "\r\n/updr2/upd/123.htm sha256=" +
                      update::Sha256Hex("package 123") + "\r\n");
  const auto signature = update::ParseSignatureText(Get("list.sig"));
  ASSERT_TRUE(signature);
  EXPECT_EQ(Get("list.sig").substr(128), "\r\n");
  EXPECT_TRUE(update::VerifySignature(pub.substr(0, 64), list, *signature));

  // Signing again replaces the serial and the hash lines of the files named.
  Put("files2", "the next database");
  ASSERT_EQ(Run({"sign-list", P("vendor.secret"), P("list.htm"), P("list.sig"), "5",
                 "/updr2/files2.htm=" + P("files2")}),
            0);
  const auto again = update::ParseUpdateList(Get("list.htm"));
  EXPECT_EQ(again.serial, 5u);
  EXPECT_EQ(again.hashes.at("/updr2/files2.htm"), update::Sha256Hex("the next database"));
  EXPECT_EQ(again.hashes.at("/updr2/upd/123.htm"), update::Sha256Hex("package 123"));

  const std::string signedList = Get("list.htm"), signedSig = Get("list.sig");
  Put("page.htm", "<html>not a list</html>\r\n");
  Put("bad.secret", "secret");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string error;
  };
  const Case cases[] = {
      {{"sign-list", P("vendor.secret"), P("list.htm"), P("list.sig"), "4"}, 1,
       "kvxdb: serial 4 is below the list's serial 5: computers that took that list would refuse "
       "this one\n"},
      {{"sign-list", P("vendor.secret"), P("list.htm"), P("list.sig"), "4294967296"}, 2,
       "kvxdb: the serial \"4294967296\" is not a number from 0 to 4294967295\n"},
      {{"sign-list", P("bad.secret"), P("list.htm"), P("list.sig"), "6"}, 1,
       "kvxdb: " + P("bad.secret") + " is not a secret key (64 hexadecimal digits)\n"},
      {{"sign-list", P("vendor.secret"), P("page.htm"), P("list.sig"), "6"}, 1,
       "kvxdb: " + P("page.htm") + " is not an update list: its first line is not \"Klaruvex Pro\"\n"},
      {{"sign-list", P("vendor.secret"), P("list.htm"), P("list.sig"), "6", "files2=" + P("files2")},
       2, "kvxdb: \"files2=" + P("files2") + "\" is not FILE=PATH with FILE a server path (\"/updr2/...\")\n"},
      {{"sign-list", P("vendor.secret"), P("list.htm"), P("list.sig"), "6",
        "/updr2/files2.htm=" + P("missing")},
       1, "kvxdb: cannot read " + P("missing") + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[4]);
    EXPECT_EQ(Run(c.args), c.code);
    EXPECT_EQ(err.str(), c.error);
    EXPECT_EQ(Get("list.htm"), signedList);
    EXPECT_EQ(Get("list.sig"), signedSig);
  }
}

}  // namespace
