#include "engine/gcrypt_init.h"

#include <gcrypt.h>

namespace engine {

void InitGcrypt() {
  static const bool done = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)done;
}

}  // namespace engine
