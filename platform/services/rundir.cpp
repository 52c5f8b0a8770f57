#include "platform/services/rundir.h"

namespace dd {

std::string cutAtLastSeparator(std::string_view path, std::string_view separators) {
    const std::size_t last = path.find_last_of(separators);
    if (last == std::string_view::npos) {
        return {};
    }
    // In the root folder this is empty (or "C:" on Windows): joining it with a separator and a
    // name still gives a full path, "/name" or "C:\name".
    return std::string(path.substr(0, last));
}

} // namespace dd
