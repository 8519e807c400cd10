// Lock files of PosixFileManager: cross-process and cross-thread mutual
// exclusion by a file whose existence is the lock. An acquirer writes its
// identity into a file of its own and renames that file onto the lock name
// without replacing; the owner text "pid!tid:host" lets later acquirers tell
// a dead owner's lock (taken over at once) from a live one.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "values/config.h"
#include "io/md5.h"
#include "host/posix_file_manager.h"

namespace pexo {
namespace {

unsigned CurrentThreadId() { return static_cast<unsigned>(::syscall(SYS_gettid)); }

void SleepMilliseconds(int32_t ms) {
  if (ms <= 0) ms = 1;
  struct timespec delay;
  delay.tv_sec = ms / 1000;
  delay.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (::nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
}

// Moves `from` onto `to` unless `to` exists. 0 done, EEXIST when taken,
// another errno on failure.
int RenameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without the flag: a hard link refuses an existing name too.
  if (::link(from, to) != 0) return errno;
  ::unlink(from);
  return 0;
}

// Parses "P!T:H"; false when the text has another shape.
bool ParseOwner(const char* text, size_t length, unsigned long* pid, unsigned long* tid,
                std::string* host) {
  std::string owner(text, length);
  char* end = nullptr;
  errno = 0;
  *pid = std::strtoul(owner.c_str(), &end, 10);
  if (errno || end == owner.c_str() || *end != '!') return false;
  const char* t = end + 1;
  *tid = std::strtoul(t, &end, 10);
  if (errno || end == t || *end != ':') return false;
  host->assign(end + 1, owner.size() - static_cast<size_t>(end + 1 - owner.c_str()));
  return true;
}

bool ProcessExists(unsigned long pid) {
  if (pid > static_cast<unsigned long>(INT_MAX)) return false;  // never signal a group
  if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
  return errno == EPERM;
}

}  // namespace

std::string PosixFileManager::LockHostName() {
  if (config_) {
    int32_t length = 0;
    const char* host = config_->GetString(CFG_LOCK_HOSTNAME, &length);
    if (host && length > 0) return std::string(host, static_cast<size_t>(length));
  }
  char name[256] = {0};
  if (::gethostname(name, sizeof name - 1) != 0) return std::string("localhost");
  return std::string(name);
}

int32_t PosixFileManager::AcquireLock(int32_t location, const char* path) {
  String full;
  if (!ResolvePath(location, path, -1, &full)) return LOCK_ERROR;
  return AcquireLockRaw(full.c_str());
}

int32_t PosixFileManager::AcquireLockRaw(const char* full) {
  if (!Reserve(1)) return LOCK_ERROR;
  unsigned pid = static_cast<unsigned>(::getpid());
  unsigned tid = CurrentThreadId();
  std::string host = LockHostName();
  char digest[Md5::kHexSize];
  Md5::HexDigest(host.data(), host.size(), digest);

  std::string own = std::string(full) + "." + digest + "." + std::to_string(pid) + "." +
                    std::to_string(tid);
  std::string content = std::to_string(pid) + "!" + std::to_string(tid) + ":" + host;
  int fd = ::open(own.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetSystemError(errno);
    return LOCK_ERROR;
  }
  ssize_t written = ::write(fd, content.data(), content.size());
  int write_error = written < 0 ? errno : (static_cast<size_t>(written) != content.size() ? EIO : 0);
  if (::close(fd) != 0 && !write_error) write_error = errno;
  if (write_error) {
    ::unlink(own.c_str());
    SetSystemError(write_error);
    return LOCK_ERROR;
  }

  int32_t delay = ConfigInteger(CFG_DELAY_FILE, 100);
  // Without a request deadline to watch, give up after timeout_file seconds.
  time_t give_up = timed_out_ ? 0 : std::time(nullptr) + ConfigInteger(CFG_TIMEOUT_FILE, 30);
  for (;;) {
    if (TimedOut() || (give_up && std::time(nullptr) >= give_up)) {
      ::unlink(own.c_str());
      SetError("Timed out waiting for lock");
      return LOCK_TIMED_OUT;
    }
    int rc = RenameNoReplace(own.c_str(), full);
    if (rc == 0) return LOCK_ACQUIRED;
    if (rc != EEXIST) {
      ::unlink(own.c_str());
      SetSystemError(rc);
      return LOCK_ERROR;
    }
    switch (InspectLockRaw(full)) {
      case LOCK_STALE:
        ::unlink(full);
        break;
      case LOCK_GONE:
        break;
      case LOCK_SELF:
        ::unlink(own.c_str());
        SetError("Possible deadlock detected");
        return LOCK_DEADLOCK;
      default:
        SleepMilliseconds(delay);
        break;
    }
  }
}

int32_t PosixFileManager::InspectLock(int32_t location, const char* path) {
  String full;
  if (!ResolvePath(location, path, -1, &full)) return LOCK_GONE;
  return InspectLockRaw(full.c_str());
}

int32_t PosixFileManager::InspectLockRaw(const char* full) {
  int fd = ::open(full, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    // Vanished: try again at once. Present but unreadable: wait like a held
    // lock rather than spin.
    return errno == ENOENT ? LOCK_GONE : LOCK_HELD;
  }
  struct stat info;
  bool have_time = ::fstat(fd, &info) == 0;
  char text[512];
  ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (!have_time || n < 0) return LOCK_HELD;

  unsigned long pid = 0, tid = 0;
  std::string host;
  if (ParseOwner(text, static_cast<size_t>(n), &pid, &tid, &host) && pid != 0 &&
      host == LockHostName()) {
    if (pid == static_cast<unsigned long>(::getpid()) &&
        (tid == 0 || tid == CurrentThreadId()))
      return LOCK_SELF;
    return ProcessExists(pid) ? LOCK_HELD : LOCK_STALE;
  }
  int32_t expiration = ConfigInteger(CFG_LOCK_EXPIRATION, 90);
  if (expiration == 0) return LOCK_HELD;
  return std::time(nullptr) - info.st_mtime >= expiration ? LOCK_STALE : LOCK_HELD;
}

bool PosixFileManager::ReleaseLock(int32_t location, const char* path) {
  String full;
  if (!ResolvePath(location, path, -1, &full)) return false;
  return ReleaseLockRaw(full.c_str());
}

bool PosixFileManager::ReleaseLockRaw(const char* full) {
  if (::unlink(full) == 0 || errno == ENOENT) return true;
  int32_t delay = ConfigInteger(CFG_DELAY_FILE, 100);
  if (delay <= 0) delay = 1;
  double attempts = 1000.0 / delay * ConfigInteger(CFG_TIMEOUT_FILE, 30) + 1;
  long limit = attempts > 1e6 ? 1000000L : (attempts < 1 ? 1L : static_cast<long>(attempts));
  for (long i = 0; i < limit && !TimedOut(); ++i) {
    SleepMilliseconds(delay);
    if (::unlink(full) == 0 || errno == ENOENT) break;
  }
  return true;
}

}  // namespace pexo
