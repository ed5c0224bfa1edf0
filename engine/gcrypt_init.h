#pragma once

namespace engine {

// Sets libgcrypt up once per process before its first use.
void InitGcrypt();

}  // namespace engine
