// A fresh temporary folder for one test, removed with its contents on destruction. Its
// path is empty when the folder could not be made.
#ifndef OVRA_TESTS_TEMP_DIR_H_
#define OVRA_TESTS_TEMP_DIR_H_

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace ovra::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovra-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const {
    return (std::filesystem::path(path_) / name).string();
  }

 private:
  std::string path_;
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_TEMP_DIR_H_
