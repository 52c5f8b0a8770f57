#include "tests/support/small_disk.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace dd::test {
namespace {

// Once per process: a namespace of our own whose mounts never reach the rest of the system.
// Where that is not allowed the mount still works, and the destructor takes it down.
void enterPrivateMountNamespace() {
    static const bool entered = [] {
        return unshare(CLONE_NEWNS) == 0 &&
               mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    (void)entered;
}

} // namespace

SmallDisk::SmallDisk(std::uint64_t bytes) {
    if (m_dir.path().empty()) {
        return;
    }
    enterPrivateMountNamespace();
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (mount("tmpfs", m_dir.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        ADD_FAILURE() << "cannot mount a " << bytes << "-byte tmpfs on " << m_dir.path() << ": "
                      << std::strerror(errno) << " (this needs CAP_SYS_ADMIN)";
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk() {
    if (m_mounted) {
        umount2(m_dir.path().c_str(), MNT_DETACH);
    }
}

} // namespace dd::test
