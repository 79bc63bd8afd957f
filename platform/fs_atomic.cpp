#include "platform/fs_atomic.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "platform/error.h"
#include "platform/fs.h"

namespace ec::fs {

namespace {

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

[[noreturn]] void fail(const std::filesystem::path& path, const std::string& what, int err) {
  throw ComError(platform_errors::kPathFileAccessError, kErrorSource,
                 "Cannot write " + path.string() + ": " + what + (err ? std::string(": ") + std::strerror(err) : ""));
}

std::string randomSuffix() {
  static thread_local std::mt19937_64 gen{std::random_device{}()};
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string s(6, 'x');
  for (char& c : s) c = kChars[gen() % (sizeof kChars - 1)];
  return s;
}

bool writeAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    content.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}


// The hint as part of a file name: letters, digits, '-', '_' and '.' kept, anything else '_'.
std::string safeHint(std::string_view hint) {
  std::string s(hint.substr(0, 64));
  for (char& c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
  return s;
}

bool plainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode) {
  const std::string name = path.filename().string();
  if (name.empty() || name == "." || name == "..") fail(path, "not a file name", 0);
  const std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");

  Descriptor dir;
  dir.fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir.fd < 0) fail(path, "cannot open the folder", errno);

  Descriptor file;
  std::string tmp;
  for (int attempt = 0; file.fd < 0; ++attempt) {
    tmp = "." + name + ".tmp-" + randomSuffix();
    file.fd = ::openat(dir.fd, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (file.fd < 0 && (errno != EEXIST || attempt >= 100)) fail(path, "cannot create a temporary file", errno);
  }
  const auto abandon = [&](const char* what) {
    const int err = errno;
    ::close(file.fd);
    file.fd = -1;
    ::unlinkat(dir.fd, tmp.c_str(), 0);
    fail(path, what, err);
  };
  if (!writeAll(file.fd, content)) abandon("cannot write the temporary file");
  if (::fsync(file.fd) != 0) abandon("cannot flush the temporary file");
  if (::close(file.fd) != 0) {
    file.fd = -1;
    const int err = errno;
    ::unlinkat(dir.fd, tmp.c_str(), 0);
    fail(path, "cannot close the temporary file", err);
  }
  file.fd = -1;
  if (::renameat(dir.fd, tmp.c_str(), dir.fd, name.c_str()) != 0) {
    const int err = errno;
    ::unlinkat(dir.fd, tmp.c_str(), 0);
    fail(path, err == EISDIR || err == ENOTEMPTY || err == EEXIST ? "a folder of that name exists" : "cannot rename",
         err == EISDIR || err == ENOTEMPTY || err == EEXIST ? 0 : err);
  }
  // The rename is durable once the folder itself is on disk; a failure here leaves the new
  // file in place and is not worth failing the write over.
  (void)::fsync(dir.fd);
}

StagedFile::StagedFile(const std::filesystem::path& folder, std::string_view hint, std::string_view content)
    : folder_(folder) {
  dir_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_ < 0) fail(folder, "cannot open the folder", errno);
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp_ = "." + safeHint(hint) + ".tmp-" + randomSuffix();
    fd = ::openat(dir_, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) {
      const int err = errno;
      ::close(dir_);
      dir_ = -1;
      fail(folder / temp_, "cannot create a temporary file", err);
    }
  }
  const char* problem = nullptr;
  if (!writeAll(fd, content))
    problem = "cannot write the temporary file";
  else if (::fsync(fd) != 0)
    problem = "cannot flush the temporary file";
  const int err = errno;
  if (::close(fd) != 0 && !problem) problem = "cannot close the temporary file";
  if (problem) {
    const std::filesystem::path path = folder / temp_;
    discard();
    ::close(dir_);
    dir_ = -1;
    fail(path, problem, err);
  }
}

StagedFile::~StagedFile() {
  discard();
  if (dir_ >= 0) ::close(dir_);
}

bool StagedFile::commitAs(const std::string& name) {
  if (temp_.empty()) fail(folder_ / name, "nothing is staged", 0);
  if (!plainName(name)) fail(folder_ / name, "not a plain file name", 0);
  // The name is claimed without replacing anything: an atomic no-replace rename, or on a
  // file system without it a hard link (which fails on an existing name) and an unlink.
  if (::renameat2(dir_, temp_.c_str(), dir_, name.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST) return false;
    if (errno != EINVAL && errno != ENOSYS) fail(folder_ / name, "cannot rename", errno);
    if (::linkat(dir_, temp_.c_str(), dir_, name.c_str(), 0) != 0) {
      if (errno == EEXIST) return false;
      fail(folder_ / name, "cannot link", errno);
    }
    ::unlinkat(dir_, temp_.c_str(), 0);
  }
  temp_.clear();
  name_ = name;
  // The new name is durable once the folder is on disk; a failure here leaves the file in
  // place and is not worth failing over.
  (void)::fsync(dir_);
  return true;
}

void StagedFile::withdraw() noexcept {
  if (name_.empty() || dir_ < 0) return;
  ::unlinkat(dir_, name_.c_str(), 0);
  name_.clear();
}

void StagedFile::discard() noexcept {
  if (temp_.empty() || dir_ < 0) return;
  ::unlinkat(dir_, temp_.c_str(), 0);
  temp_.clear();
}

}  // namespace ec::fs
