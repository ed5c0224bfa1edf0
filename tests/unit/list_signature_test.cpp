// The signed update list: Ed25519 through libgcrypt, the signature and key
// texts, and the lines that vouch for the files.
#include <gtest/gtest.h>

#include "update/list_signature.h"
#include "update/update_list.h"

namespace {

std::string Unhex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// RFC 8032, section 7.1, tests 1 to 3.
struct Vector {
  const char* secret;
  const char* pub;
  const char* message;
  const char* signature;
};
const Vector kRfc8032[] = {
    {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
     "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
    {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
     "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
     "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"},
};

TEST(ListSignature, PureEd25519AsRfc8032Publishes) {
  for (const auto& v : kRfc8032) {
    SCOPED_TRACE(v.pub);
    const std::string message = Unhex(v.message);
    EXPECT_EQ(update::PublicKeyOf(v.secret), v.pub);
    EXPECT_EQ(update::SignHex(v.secret, message), v.signature);
    EXPECT_TRUE(update::VerifySignature(v.pub, message, Unhex(v.signature)));
    // One bit of the message, of the signature or of the key changed.
    std::string other = message + "x";
    EXPECT_FALSE(update::VerifySignature(v.pub, other, Unhex(v.signature)));
    std::string signature = Unhex(v.signature);
    signature[40] ^= 1;
    EXPECT_FALSE(update::VerifySignature(v.pub, message, signature));
    std::string key = v.pub;
    key[0] = key[0] == '0' ? '1' : '0';
    EXPECT_FALSE(update::VerifySignature(key, message, Unhex(v.signature)));
  }
  // Not a key at all, not a signature of 64 bytes.
  const auto& v = kRfc8032[0];
  EXPECT_FALSE(update::VerifySignature("", "", Unhex(v.signature)));
  EXPECT_FALSE(update::VerifySignature(std::string(64, 'z'), "", Unhex(v.signature)));
  EXPECT_FALSE(update::VerifySignature(v.pub, "", Unhex(v.signature).substr(0, 63)));
}

TEST(ListSignature, NewKeyPairsSignWhatTheyVerify) {
  const auto a = update::GenerateKeyPair();
  const auto b = update::GenerateKeyPair();
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->secretHex, b->secretHex);
  EXPECT_EQ(a->publicHex.size(), 64u);
  const std::string list = "Klaruvex Pro\r\nd\r\n";
  const auto signature = update::ParseSignatureText(update::SignHex(a->secretHex, list));
  ASSERT_TRUE(signature);
  EXPECT_TRUE(update::VerifySignature(a->publicHex, list, *signature));
  EXPECT_FALSE(update::VerifySignature(b->publicHex, list, *signature));
}

TEST(ListSignature, SignatureAndKeyTexts) {
  const std::string sig(128, 'a');
  struct Case {
    std::string text;
    bool signature;
  };
  const Case cases[] = {
      {sig, true},
      {sig + "\r\n", true},
      {sig + "\n", true},
      {std::string(128, 'F'), true},
      {sig + "\r\n\r\n", false},
      {sig + " ", false},
      {" " + sig, false},
      {sig.substr(1), false},
      {sig + "a", false},
      {sig.substr(1) + "g", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto bytes = update::ParseSignatureText(c.text);
    EXPECT_EQ(bytes.has_value(), c.signature);
    if (bytes) {
      EXPECT_EQ(bytes->size(), 64u);
    }
  }
  EXPECT_EQ(update::ParseSignatureText(sig + "\r\n"), std::string(64, '\xaa'));
  EXPECT_EQ(update::ParseKeyText(std::string(64, '0') + "\r\n"), std::string(32, '\0'));
  EXPECT_FALSE(update::ParseKeyText(std::string(62, '0')));
}

std::string Lines(const std::string& tail) {
  return "Klaruvex Pro\r\ndate\r\nversion\r\n\r\n0\r\n100\r\n" + tail;
}

TEST(ListSignature, HashSerialAndExpiryLines) {
  const std::string a(64, 'a'), b(64, 'b');
  struct Case {
    const char* what;
    std::string list;
    std::map<std::string, std::string> hashes;
    std::optional<std::uint32_t> serial;
    std::optional<std::uint32_t> expires;
  };
  const Case cases[] = {
      {"all of them",
       Lines("serial=12\r\nexpires=2027-06-30\r\n/updr2/files2.htm sha256=" + a +
             "\r\n/updr2/upd/122.htm sha256=" + std::string(64, 'B') + "\r\n"),
       {{"/updr2/files2.htm", a}, {"/updr2/upd/122.htm", b}}, 12u, 20270630u},
      {"none", Lines(""), {}, std::nullopt, std::nullopt},
      {"LF line ends", "Klaruvex Pro\nd\nv\n\n0\n\nserial=4294967295\n/x sha256=" + a + "\n",
       {{"/x", a}}, 4294967295u, std::nullopt},
      {"lines 1 to 6 never vouch", "Klaruvex Pro\r\n/x sha256=" + a + "\r\nserial=3\r\n", {},
       std::nullopt, std::nullopt},
      {"serial too large", Lines("serial=4294967296\r\n"), {}, std::nullopt, std::nullopt},
      {"serial not a number", Lines("serial=12a\r\n"), {}, std::nullopt, std::nullopt},
      {"serial empty", Lines("serial=\r\n"), {}, std::nullopt, std::nullopt},
      {"serial twice", Lines("serial=5\r\nserial=5\r\n"), {}, std::nullopt, std::nullopt},
      {"not a date", Lines("expires=2027-02-29\r\n"), {}, std::nullopt, 0u},
      {"a leap day", Lines("expires=2028-02-29\r\n"), {}, std::nullopt, 20280229u},
      {"month 13", Lines("expires=2027-13-01\r\n"), {}, std::nullopt, 0u},
      {"expiry twice", Lines("expires=2027-01-01\r\nexpires=2027-01-01\r\n"), {}, std::nullopt, 0u},
      {"same digest twice", Lines("/x sha256=" + a + "\r\n/x sha256=" + a + "\r\n"), {{"/x", a}},
       std::nullopt, std::nullopt},
      {"two digests for one path", Lines("/x sha256=" + a + "\r\n/x sha256=" + b + "\r\n"),
       {{"/x", ""}}, std::nullopt, std::nullopt},
      {"digest too short", Lines("/x sha256=" + a.substr(1) + "\r\n"), {}, std::nullopt,
       std::nullopt},
      {"digest not hexadecimal", Lines("/x sha256=" + std::string(64, 'g') + "\r\n"), {},
       std::nullopt, std::nullopt},
      {"no leading slash", Lines("x sha256=" + a + "\r\n"), {}, std::nullopt, std::nullopt},
      {"two blanks", Lines("/x  sha256=" + a + "\r\n"), {}, std::nullopt, std::nullopt},
      {"other digest", Lines("/x md5=" + a + "\r\n"), {}, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto list = update::ParseUpdateList(c.list);
    EXPECT_EQ(list.hashes, c.hashes);
    EXPECT_EQ(list.serial, c.serial);
    EXPECT_EQ(list.expires, c.expires);
  }
}

TEST(ListSignature, SealingKeepsTheSixLinesAndReplacesWhatItSets) {
  const std::string a(64, 'a'), b(64, 'b'), c(64, 'c');
  EXPECT_EQ(update::SealList("Klaruvex Pro\nd\n", 7, {{"/updr2/files2.htm", a}}),
            "Klaruvex Pro\r\nd\r\n\r\n\r\n\r\n\r\nserial=7\r\n/updr2/files2.htm sha256=" + a +
                "\r\n");
  const std::string signedBefore =
      Lines("expires=2027-01-01\r\nserial=6\r\n/updr2/files2.htm sha256=" + b +
            "\r\n/updr2/kvxup.htm sha256=" + c + "\r\n");
  EXPECT_EQ(update::SealList(signedBefore, 8, {{"/updr2/files2.htm", a}}),
            Lines("expires=2027-01-01\r\n/updr2/kvxup.htm sha256=" + c +
                  "\r\nserial=8\r\n/updr2/files2.htm sha256=" + a + "\r\n"));
}

TEST(ListSignature, MergedChainHeldToItsCap) {
  const std::string db = "date 1\r\n[S]\r\nr1\r\n_end\r\n";
  const std::string package = "date 2\r\nr2\r\n_end\r\n";
  const std::size_t merged = std::string("date 2\r\n[S]\r\nr1\r\nr2\r\n_end\r\n").size();
  std::string text = db;
  EXPECT_FALSE(update::MergePackage(text, package, merged - 1));
  EXPECT_EQ(text, db);
  EXPECT_TRUE(update::MergePackage(text, package, merged));
  EXPECT_EQ(text.size(), merged);
}

}  // namespace
