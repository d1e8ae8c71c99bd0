#include "file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tool_error.h"

namespace {

std::string Describe(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

// A new temporary file in path's directory (so that rename and link stay on
// one file system), holding data, flushed to disk, with the given mode.
std::string WriteTemporarySibling(const std::string& path, const std::string& data, mode_t mode) {
  std::string name = path + ".tmp-XXXXXX";
  int fd = mkstemp(name.data());
  if (fd < 0) throw ToolError("cannot write " + Describe(path, errno));
  const char* p = data.data();
  size_t left = data.size();
  int error = 0;
  while (left > 0 && error == 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
    } else {
      p += n;
      left -= static_cast<size_t>(n);
    }
  }
  if (error == 0 && fchmod(fd, mode) != 0) error = errno;
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    unlink(name.c_str());
    throw ToolError("cannot write " + Describe(path, error));
  }
  return name;
}

}  // namespace

std::string ReadWholeFile(const std::string& path, const std::string& what, off_t max_size) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ToolError("cannot read " + what + " " + Describe(path, errno));
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    throw ToolError("cannot read " + what + " " + path + ": not a regular file");
  }
  if (st.st_size > max_size) {
    close(fd);
    throw ToolError(what + " " + path + " is larger than " + std::to_string(max_size) + " bytes");
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      close(fd);
      throw ToolError("cannot read " + what + " " + Describe(path, error));
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
    if (static_cast<off_t>(data.size()) > max_size) {
      close(fd);
      throw ToolError(what + " " + path + " is larger than " + std::to_string(max_size) + " bytes");
    }
  }
  close(fd);
  return data;
}

void ReplaceFile(const std::string& path, const std::string& data, mode_t mode) {
  std::string temporary = WriteTemporarySibling(path, data, mode);
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    int error = errno;
    unlink(temporary.c_str());
    throw ToolError("cannot write " + Describe(path, error));
  }
}

void CreateNewFile(const std::string& path, const std::string& data, mode_t mode) {
  if (PathExists(path)) throw ToolError("refusing to overwrite existing file " + path);
  std::string temporary = WriteTemporarySibling(path, data, mode);
  int result = link(temporary.c_str(), path.c_str());
  int error = errno;
  unlink(temporary.c_str());
  if (result != 0) {
    if (error == EEXIST) throw ToolError("refusing to overwrite existing file " + path);
    throw ToolError("cannot write " + Describe(path, error));
  }
}

bool PathExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}
