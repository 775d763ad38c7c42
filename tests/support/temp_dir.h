#pragma once
// A fresh folder per test, removed at the end; the name may carry blanks and
// non-ASCII letters so that every path-handling test meets them by default.

#include <filesystem>
#include <string>

namespace corvinex::test {

class TempDir {
 public:
  explicit TempDir(const std::string& hint = "corvinex test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

}  // namespace corvinex::test
