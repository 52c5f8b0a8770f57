#include "platform/services/text.h"

#include <algorithm>
#include <cstddef>

namespace dd {

int compareText(std::string_view a, std::string_view b) {
    // Bytes are compared as unsigned so that UTF-8 lead bytes (0x80 and above) sort after ASCII
    // whatever the signedness of char on the target.
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

std::string concatText(std::initializer_list<std::string_view> parts) {
    std::size_t total = 0;
    for (std::string_view part : parts) {
        total += part.size();
    }
    std::string joined;
    joined.reserve(total);
    for (std::string_view part : parts) {
        joined.append(part);
    }
    return joined;
}

} // namespace dd
