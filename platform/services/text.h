// Text comparison and concatenation. Texts are UTF-8 byte strings; the empty and the absent
// text are one value. Pure functions, any thread.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace dd {

// 0 when equal byte for byte; otherwise -1 or 1 by the first differing byte taken as
// unsigned, a prefix sorting first.
int compareText(std::string_view a, std::string_view b);

std::string concatText(std::initializer_list<std::string_view> parts);

} // namespace dd
