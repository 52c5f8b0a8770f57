// A small file system of the test's own: a tmpfs of a given size on a fresh directory, mounted in
// a mount namespace of this process's own, so no mount outlives the test process. Use from the
// test's thread, before it starts other threads.
#pragma once

#include "tests/support/temp_dir.h"

#include <cstdint>
#include <string>

namespace dd::test {

class SmallDisk {
  public:
    // Mounting needs CAP_SYS_ADMIN. On failure: ADD_FAILURE() with the reason, and mounted()
    // false.
    explicit SmallDisk(std::uint64_t bytes);
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    ~SmallDisk();

    bool mounted() const { return m_mounted; }
    const std::string& path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }

  private:
    TempDir m_dir;
    bool m_mounted = false;
};

} // namespace dd::test
