#include "platform/fs_atomic.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace ec::fs
