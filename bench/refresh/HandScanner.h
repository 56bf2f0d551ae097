#pragma once

#include "status/StateRecord.h"

#include <optional>
#include <string_view>

namespace korvane::bench {

std::optional<StateRecord> handScan(std::string_view json);

} // namespace korvane::bench
