// One run per working folder: a run holds an exclusive lock (flock) on
// ".fiamma.lock" in its folder from before it reads its configuration until
// its summary is written; the file names the holder (process, host, start).
#pragma once

#include <filesystem>
#include <string>

namespace fiamma {

inline constexpr const char* kLockFile = ".fiamma.lock";

class FolderLock {
 public:
  // Takes the lock of `folder` at once or throws: an InputError naming the
  // holder when another process holds it, a WriteError when the lock file
  // cannot be created or written.
  explicit FolderLock(const std::filesystem::path& folder);
  // Empties the file and lets the lock go.
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

// What the lock file of `folder` says about its holder ("" when empty or
// missing): read without taking the lock.
std::string lock_holder(const std::filesystem::path& folder);

}  // namespace fiamma
