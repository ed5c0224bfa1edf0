// The signature text and the hash lines of the update list on any bytes a
// server may send: the first 130 bytes are read as "list.sig", the rest as
// "list.htm". Sealing a list and reading it back must give what was sealed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/list_signature.h"
#include "update/update_list.h"

namespace {
// A key of no one: only the reading and the refusal are under test.
constexpr const char* kPublicKey = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view sigText = bytes.substr(0, 130);
  const std::string_view listText = bytes.substr(sigText.size());

  (void)update::ParseKeyText(sigText);
  if (const auto signature = update::ParseSignatureText(sigText)) {
    if (signature->size() != 64) std::abort();
    (void)update::VerifySignature(kPublicKey, listText, *signature);
  }

  const update::UpdateList list = update::ParseUpdateList(listText);
  for (const auto& [path, digest] : list.hashes)
    if (path.empty() || path[0] != '/' || (digest.size() != 64 && !digest.empty())) std::abort();
  if (list.expires && *list.expires != 0 && (*list.expires < 10101 || *list.expires > 99991231))
    std::abort();

  const std::string digest = update::Sha256Hex(listText);
  const std::string sealed = update::SealList(listText, 4242, {{"/updr2/files2.htm", digest}});
  if (sealed.size() <= update::kListCap) {
    const update::UpdateList back = update::ParseUpdateList(sealed);
    if (back.serial != 4242u) std::abort();
    const auto it = back.hashes.find("/updr2/files2.htm");
    if (it == back.hashes.end() || it->second != digest) std::abort();
    if (back.product != list.product.substr(0, update::kListLineLimit)) std::abort();
  }
  return 0;
}
