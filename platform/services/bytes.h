// A byte sequence with its length: the content of a file. Plain data.
#pragma once

#include <cstdint>
#include <vector>

namespace dd {
using Bytes = std::vector<std::uint8_t>;
} // namespace dd
