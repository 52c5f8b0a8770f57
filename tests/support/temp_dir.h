// A fresh directory under /tmp for one test's files, removed with everything in it when the
// object goes. Use from the test's thread.
#pragma once

#include <string>

namespace dd::test {

class TempDir {
  public:
    // On failure: ADD_FAILURE() and an empty path.
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Writes text to a new or truncated file; false when it cannot.
bool writeTextFile(const std::string& path, const std::string& text);
// The whole file as text; empty when it cannot be read.
std::string readTextFile(const std::string& path);

} // namespace dd::test
