#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace dd::test {

TempDir::TempDir() {
    char name[] = "/tmp/dd-test-XXXXXX";
    if (mkdtemp(name) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary directory: " << std::strerror(errno);
        return;
    }
    m_path = name;
}

TempDir::~TempDir() {
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

bool writeTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

std::string readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace dd::test
