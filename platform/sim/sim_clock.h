#pragma once
#include <optional>

#include "platform/local_time.h"

namespace platform::sim {

// Stops the simulated clock at a fixed time (nullopt: the host's clock again).
void SetLocalTime(std::optional<LocalTime> fixed);

}  // namespace platform::sim
