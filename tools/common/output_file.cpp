#include "common/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace outfile {
namespace {

std::string Why(int error) { return std::strerror(error); }

enum class Kind { Create, Replace, Direct };

// Where writing target leads: a new file or a regular one to replace (finalPath, with
// every symbolic link followed; info of the existing file), or a file to write
// directly. False with error set when the folder is missing or target is a folder.
bool Resolve(const std::string& target, Kind& kind, std::string& finalPath, struct stat& info,
             std::string& error) {
  std::string path = target;
  for (int hop = 0; hop < 40; ++hop) {
    const size_t slash = path.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
      error = "is a folder; give a file name";
      return false;
    }
    char* real = realpath(dir.c_str(), nullptr);
    if (!real) {
      error = errno == ENOENT || errno == ENOTDIR ? "folder " + dir + " does not exist"
                                                  : "folder " + dir + ": " + Why(errno);
      return false;
    }
    const std::string realDir = real;
    std::free(real);
    // /dev/stdout, /dev/fd/N and the like: the process's own open files, written as
    // they are (replacing the file a link there names would cut it from the process).
    if (realDir == "/proc" || realDir.rfind("/proc/", 0) == 0) {
      kind = Kind::Direct;
      return true;
    }
    const std::string full = (realDir == "/" ? "" : realDir) + "/" + name;
    if (lstat(full.c_str(), &info) != 0) {
      if (errno != ENOENT) {
        error = Why(errno);
        return false;
      }
      kind = Kind::Create;
      finalPath = full;
      return true;
    }
    if (S_ISLNK(info.st_mode)) {
      char link[PATH_MAX];
      const ssize_t n = readlink(full.c_str(), link, sizeof link - 1);
      if (n < 0) {
        error = Why(errno);
        return false;
      }
      link[n] = '\0';
      path = link[0] == '/' ? std::string(link) : realDir + "/" + link;
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      error = "is a folder; give a file name";
      return false;
    }
    kind = S_ISREG(info.st_mode) ? Kind::Replace : Kind::Direct;
    finalPath = full;
    return true;
  }
  error = Why(ELOOP);
  return false;
}

// A new file beside finalPath, ".NAME.XXXXXXXX.tmp" (created with O_EXCL, so it is
// never someone else's), readable and writable as the umask allows; -1 on failure.
int CreateTemporary(const std::string& finalPath, std::string& path) {
  const size_t slash = finalPath.find_last_of('/');
  const std::string dir = finalPath.substr(0, slash + 1);
  const std::string name = finalPath.substr(slash + 1, 200);  // room for the suffix
  std::random_device device;
  std::mt19937_64 random(uint64_t{device()} << 32 ^ device() ^ uint64_t(getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
    path = dir + "." + name + suffix;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

Output::~Output() { Abandon(); }

bool Output::Open(const std::string& target, std::string& error, bool withStream) {
  Abandon();
  Kind kind;
  struct stat info {};
  if (!Resolve(target, kind, finalPath_, info, error)) return false;
  direct_ = kind == Kind::Direct;
  int fd = -1;
  if (direct_) {
    writePath_ = target;
    if (withStream) fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (withStream && fd < 0) {
      error = "cannot open for writing: " + Why(errno);
      return false;
    }
  } else {
    fd = CreateTemporary(finalPath_, writePath_);
    if (fd < 0) {
      const int why = errno;
      error = "cannot create a file in " + finalPath_.substr(0, finalPath_.find_last_of('/') + 1) +
              ": " + Why(why);
      writePath_.clear();
      return false;
    }
    if (kind == Kind::Replace) {
      // The existing file's owner first (only root or the owner may; failing is
      // harmless), then its mode, which a change of owner may have cleared bits of.
      if (fchown(fd, info.st_uid, info.st_gid) != 0) {
      }
      fchmod(fd, info.st_mode & 07777);
    }
  }
  open_ = true;
  if (!withStream) {
    if (fd >= 0) close(fd);
    return true;
  }
  stream_ = fdopen(fd, "wb");
  if (!stream_) {
    error = Why(errno);
    close(fd);
    Abandon();
    return false;
  }
  return true;
}

bool Output::Commit(std::string& error) {
  if (!open_) {
    error = Why(EBADF);
    return false;
  }
  if (stream_) {
    std::FILE* stream = stream_;
    stream_ = nullptr;
    errno = 0;
    bool written = std::fflush(stream) == 0 && !std::ferror(stream);
    int why = errno;
    // On disk before it takes the target's place (a device or FIFO has nothing to sync).
    if (written && !direct_ && fsync(fileno(stream)) != 0) {
      written = false;
      why = errno;
    }
    if (std::fclose(stream) != 0 && written) {
      written = false;
      why = errno;
    }
    if (!written) {
      error = "could not write: " + Why(why ? why : EIO);
      Abandon();
      return false;
    }
  }
  if (!direct_ && std::rename(writePath_.c_str(), finalPath_.c_str()) != 0) {
    error = "could not put the new file in place: " + Why(errno);
    Abandon();
    return false;
  }
  writePath_.clear();
  open_ = false;
  return true;
}

void Output::Abandon() {
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
  if (open_ && !direct_ && !writePath_.empty()) unlink(writePath_.c_str());
  writePath_.clear();
  open_ = false;
}

bool CheckWritable(const std::string& target, std::string& error) {
  Kind kind;
  std::string finalPath;
  struct stat info {};
  if (!Resolve(target, kind, finalPath, info, error)) return false;
  if (kind == Kind::Direct) {
    if (access(target.c_str(), W_OK) == 0) return true;
    error = "cannot open for writing: " + Why(errno);
    return false;
  }
  const std::string dir = finalPath.substr(0, finalPath.find_last_of('/') + 1);
  if (access(dir.c_str(), W_OK | X_OK) == 0) return true;
  error = "cannot create a file in " + dir + ": " + Why(errno);
  return false;
}

bool WriteFile(const std::string& target, const void* data, size_t size, std::string& error) {
  Output output;
  if (!output.Open(target, error)) return false;
  errno = 0;
  if (size > 0 && std::fwrite(data, 1, size, output.Stream()) != size) {
    error = "could not write: " + Why(errno ? errno : EIO);
    return false;
  }
  return output.Commit(error);
}

}  // namespace outfile
