// The run directory: the folder that holds the program's executable. The cut is pure and the
// platform functions only read process state, so any thread may call them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dd {

// The part of path before its last separator, without it: "/usr/bin/x" gives "/usr/bin" and
// "/x" gives "". Any byte in separators counts as one. A path with no separator gives "".
// Safe on UTF-8: a separator byte never occurs inside a multi-byte character.
std::string cutAtLastSeparator(std::string_view path, std::string_view separators);

// Platform part (rundir_<platform>.cpp).
// The full path of the running executable as UTF-8; empty when the system will not say.
std::optional<std::string> executablePath();
// Every byte that separates folders in a path on this platform.
std::string_view pathSeparators();
// The separator used to join a folder and a name.
std::string_view pathSeparator();

} // namespace dd
