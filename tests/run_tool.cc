#include "run_tool.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() : ScratchDir(fs::temp_directory_path().string()) {}

ScratchDir::ScratchDir(const std::string& parent) {
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    fs::path candidate =
        fs::path(parent) / ("trovconv-test-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error))
      path_ = candidate.string();
  }
}

ScratchDir::~ScratchDir() {
  if (path_.empty())
    return;
  // Tests take permissions away; give them back so everything can go.
  std::error_code ignored;
  fs::recursive_directory_iterator it(path_, ignored), end;
  for (; it != end; it.increment(ignored)) {  // never throws
    if (!it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add,
                      ignored);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

bool ReadFile(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  std::ostringstream all;
  all << in.rdbuf();
  *content = all.str();
  return true;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}
