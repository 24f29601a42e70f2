#include "support/temp_dir.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

namespace duz::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "duz-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files and folders made by tests must not stop the clean-up.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

}  // namespace duz::test
