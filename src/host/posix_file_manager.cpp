#include "host/posix_file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "values/config.h"

namespace pexo {
namespace {

const char* const kScriptRootMessages[3] = {
    "The configured script directory is not a fully qualified path including a drive letter",
    "The configured script directory references a reserved Windows device name",
    "The configured script directory does not exist, or is not a directory"};
const char* const kDataRootMessages[3] = {
    "The configured data directory is not a fully qualified path including a drive letter",
    "The configured data directory references a reserved Windows device name",
    "The configured data directory does not exist, or is not a directory"};
const char* const kTempRootMessages[3] = {
    "The configured temporary directory is not a fully qualified path including a drive letter",
    "The configured temporary directory references a reserved Windows device name",
    "The configured temporary directory does not exist, or is not a directory"};

const char* const kOutsideMessages[3] = {
    "The specified path references a path outside the configured data directory",
    "The specified path references a path outside the configured script directory",
    "The specified path references a path outside the configured temporary directory"};

// Operating-system open flags for the engine's flags: access from bits 0x01
// and 0x02, creation by the first matching rule.
int OpenFlags(int32_t flags) {
  int access = O_RDONLY;
  if ((flags & FILE_WRITE) && (flags & FILE_READ))
    access = O_RDWR;
  else if (flags & FILE_WRITE)
    access = O_WRONLY;
  int create;
  if (flags & FILE_CREATE_NEW)
    create = O_CREAT | O_EXCL;
  else if ((flags & FILE_CREATE) && (flags & FILE_TRUNCATE))
    create = O_CREAT | O_TRUNC;
  else if (flags & FILE_TRUNCATE)
    create = O_TRUNC;
  else if ((flags & FILE_CREATE) && (flags & FILE_MUST_EXIST))
    create = 0;
  else if (flags & FILE_CREATE)
    create = O_CREAT;
  else if ((flags & FILE_MUST_EXIST) || !(flags & FILE_CREATE_MISSING))
    create = 0;
  else
    create = O_CREAT;
  if (flags & FILE_APPEND) access |= O_APPEND;
  return access | create | O_CLOEXEC;
}

bool StatPath(const char* full, struct stat* info) { return ::stat(full, info) == 0; }

}  // namespace

PosixFileManager::PosixFileManager(Config* config) : config_(config) {
  SetHandleLimit(ConfigInteger(CFG_MAX_FILES, 0));
}

PosixFileManager::~PosixFileManager() {
  // Files still open outlive the lists; they must not call back into us.
  for (PosixFile* file : active_) file->accounted_ = false;
  for (PosixFile* file : inactive_) file->accounted_ = false;
}

int32_t PosixFileManager::ConfigInteger(int32_t key, int32_t fallback) {
  return config_ ? config_->GetInteger(key) : fallback;
}

String PosixFileManager::SystemErrorText(int code) const {
  if (code == 0) return String("Unknown error 0");
  char buffer[256];
  // The GNU strerror_r returns the text, which may not be in `buffer`.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  if (!text || !*text) {
    std::snprintf(buffer, sizeof buffer, "Unknown error %d", code);
    text = buffer;
  }
  return String(text);
}

bool PosixFileManager::SetSystemError(int code) {
  error_ = SystemErrorText(code);
  return false;
}

// --- roots and path resolution ---------------------------------------------

bool PosixFileManager::IsReservedName(const char* name, int32_t length) const {
  length = text_length(name, length);
  auto lower = [&](int32_t i) { return std::tolower(static_cast<unsigned char>(name[i])); };
  auto has = [&](const char* word) {
    for (int32_t i = 0; i < 3; ++i)
      if (lower(i) != word[i]) return false;
    return true;
  };
  if (length < 3) return false;
  int32_t end;
  if (has("aux") || has("con") || has("nul") || has("prn")) {
    end = 3;
  } else if ((has("com") || has("lpt")) && length >= 4 && name[3] >= '1' && name[3] <= '9') {
    end = 4;
  } else {
    return false;
  }
  return length == end || name[end] == '.';
}

bool PosixFileManager::SetRoot(Root* root, const char* path, int32_t length,
                               const char* const messages[3]) {
  length = text_length(path, length);
  if (!path || length == 0 || !IsPathSeparator(path[0]) ||
      std::memchr(path, 0, static_cast<size_t>(length))) {
    SetError(messages[0]);
    return false;
  }
  PosixFilePath normal(path, length);
  if (IsReservedName(normal.last().data(), static_cast<int32_t>(normal.last().size()))) {
    SetError(messages[1]);
    return false;
  }
  std::string text = normal.ToString();
  struct stat info;
  char* real = ::realpath(text.c_str(), nullptr);
  if (!real || !StatPath(real, &info) || !S_ISDIR(info.st_mode)) {
    std::free(real);
    SetError(messages[2]);
    return false;
  }
  root->set = true;
  root->path = normal;
  root->real = real;
  std::free(real);
  return true;
}

bool PosixFileManager::SetScriptDirectory(const char* path, int32_t length) {
  return SetRoot(&roots_[FILE_SCRIPT], path, length, kScriptRootMessages);
}

bool PosixFileManager::SetDataDirectory(const char* path, int32_t length) {
  return SetRoot(&roots_[FILE_DATA], path, length, kDataRootMessages);
}

bool PosixFileManager::SetTemporaryDirectory(const char* path, int32_t length) {
  return SetRoot(&roots_[FILE_TEMP], path, length, kTempRootMessages);
}

// The longest existing part of `full`, with links resolved, must stay below
// the root's real path; a dangling link counts as leaving it.
bool PosixFileManager::InsideRealRoot(const Root& root, const std::string& full) {
  std::string existing = full;
  struct stat info;
  while (::lstat(existing.c_str(), &info) != 0) {
    size_t slash = existing.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return false;
    existing.resize(slash);
  }
  char* real = ::realpath(existing.c_str(), nullptr);
  if (!real) return false;
  std::string resolved(real);
  std::free(real);
  if (root.real == "/") return true;
  return resolved == root.real ||
         (resolved.size() > root.real.size() &&
          resolved.compare(0, root.real.size(), root.real) == 0 &&
          resolved[root.real.size()] == '/');
}

bool PosixFileManager::ResolvePath(int32_t location, const char* path, int32_t length,
                                   String* full) {
  if (location < FILE_DATA || location > FILE_TEMP) {
    SetError("Invalid file location");
    return false;
  }
  if (location == FILE_TEMP && !roots_[FILE_TEMP].set) location = FILE_DATA;
  const Root& root = roots_[location];
  if (!root.set) {
    SetError(location == FILE_SCRIPT ? "There is no configured script directory"
                                     : "There is no configured data directory");
    return false;
  }
  if (!path) path = "";
  length = text_length(path, length);
  // A zero byte would cut the path short at the system call.
  if (std::memchr(path, 0, static_cast<size_t>(length))) {
    SetError(kOutsideMessages[location]);
    return false;
  }
  while (length > 0 && IsPathSeparator(*path)) {
    ++path;
    --length;
  }
  PosixFilePath joined = root.path;
  joined.Append(path, length);
  std::string text = joined.ToString();
  if (!joined.IsInside(root.path) || !InsideRealRoot(root, text)) {
    SetError(kOutsideMessages[location]);
    return false;
  }
  const std::string& last = joined.last();
  if (joined.components().size() > root.path.components().size()) {
    if (last.find(':') != std::string::npos) {
      SetError("The specified path references an NTFS alternate data stream");
      return false;
    }
    if (IsReservedName(last.data(), static_cast<int32_t>(last.size()))) {
      SetError("The specified path references a Windows reserved device name");
      return false;
    }
  }
  full->assign(text.data(), static_cast<int32_t>(text.size()));
  return true;
}

bool PosixFileManager::ResolvePair(int32_t from_location, const char* from, int32_t to_location,
                                   const char* to, String* full_from, String* full_to) {
  return ResolvePath(from_location, from, -1, full_from) &&
         ResolvePath(to_location, to, -1, full_to);
}

// --- handle accounting ------------------------------------------------------

void PosixFileManager::AddActive(PosixFile* file) { active_.prepend(file); }

void PosixFileManager::Forget(PosixFile* file) {
  active_.remove(file);
  inactive_.remove(file);
}

bool PosixFileManager::Reserve(int32_t count) {
  if (limit_ == 0) return true;
  if (count > limit_) {
    char message[160];
    std::snprintf(message, sizeof message,
                  "Simultaneous request for %d file handles exceeds the maximum number of "
                  "simultaneous file handles.",
                  count);
    SetError(message);
    return false;
  }
  while (active_.count() + count > limit_) {
    // Least recently used first; a file holding byte-range locks stays open.
    PosixFile* victim = nullptr;
    for (PosixFile* file : active_)
      if (!file->pinned()) victim = file;
    if (!victim) break;
    victim->Release();
    active_.remove(victim);
    inactive_.prepend(victim);
  }
  return true;
}

bool PosixFileManager::Activate(File* handle) {
  PosixFile* file = static_cast<PosixFile*>(handle);
  if (file->active()) {
    if (file->accounted() && active_.remove(file)) active_.prepend(file);
    return true;
  }
  if (!file->accounted()) {
    if (file->Reopen()) return true;
    error_ = file->ErrorText();
    return false;
  }
  if (!Reserve(1)) return false;
  if (!inactive_.remove(file)) {
    SetError("Activation request for invalid or non-active file");
    return false;
  }
  if (!file->Reopen()) {
    inactive_.prepend(file);
    error_ = file->ErrorText();
    return false;
  }
  active_.prepend(file);
  return true;
}

void PosixFileManager::Deactivate(File* handle) {
  PosixFile* file = static_cast<PosixFile*>(handle);
  if (!file->active() || file->pinned()) return;
  file->Release();
  if (file->accounted() && active_.remove(file)) inactive_.prepend(file);
}

// --- opening and creating ---------------------------------------------------

PosixFile* PosixFileManager::Open(int32_t location, const char* path, int32_t flags) {
  String full;
  if (!ResolvePath(location, path, -1, &full)) return nullptr;
  return OpenRaw(full.c_str(), flags);
}

PosixFile* PosixFileManager::OpenRaw(const char* full, int32_t flags) {
  bool accounted = !(flags & FILE_UNACCOUNTED);
  if (accounted && !Reserve(1)) return nullptr;
  int os_flags = OpenFlags(flags);
  int fd = ::open(full, os_flags, 0666);
  if (fd < 0) {
    last_errno_ = errno;
    SetSystemError(last_errno_);
    return nullptr;
  }
  PosixFile* file =
      new PosixFile(this, fd, full, os_flags & (O_ACCMODE | O_APPEND), accounted);
  if (accounted) AddActive(file);
  return file;
}

PosixFile* PosixFileManager::CreateUniqueFileRaw(const char* full_base, String* full_name,
                                                 int32_t flags) {
  if (!Reserve(1)) return nullptr;
  std::string base(full_base);
  char suffix[16];
  for (int32_t counter = 0; counter < INT32_MAX; ++counter) {
    std::snprintf(suffix, sizeof suffix, ".%x", static_cast<unsigned>(counter));
    std::string candidate = base + suffix;
    PosixFile* file = OpenRaw(candidate.c_str(), flags | FILE_CREATE | FILE_CREATE_NEW);
    if (file) {
      full_name->assign(candidate.data(), static_cast<int32_t>(candidate.size()));
      return file;
    }
    if (last_errno_ != EEXIST) return nullptr;
  }
  SetError("Unable to generate unique temporary filename");
  return nullptr;
}

PosixFile* PosixFileManager::CreateUniqueFile(int32_t location, const char* base, String* name,
                                              int32_t flags) {
  String full;
  if (!ResolvePath(location, base, -1, &full)) return nullptr;
  String full_name;
  last_errno_ = 0;
  PosixFile* file = CreateUniqueFileRaw(full.c_str(), &full_name, flags);
  if (!file) return nullptr;
  // The relative name is the caller's base plus the suffix that was added.
  name->assign(base);
  name->append(full_name.data() + full.length(), full_name.length() - full.length());
  return file;
}

PosixFile* PosixFileManager::CreateTemporaryFile(int32_t location, const char* directory,
                                                 const char* prefix, String* name,
                                                 int32_t flags) {
  if (!prefix) prefix = "";
  if (std::strchr(prefix, '/') || std::strchr(prefix, '\\')) {
    SetError("Invalid temporary filename prefix");
    return nullptr;
  }
  std::string base;
  if (directory && *directory && std::strcmp(directory, ".") != 0) {
    base = directory;
    if (!IsPathSeparator(base.back())) base += '/';
  }
  base += prefix;
  return CreateUniqueFile(location, base.c_str(), name, flags);
}

// --- whole-file operations --------------------------------------------------

#define PEXO_LOCATED(call, location, path, fail) \
  String full;                                   \
  if (!ResolvePath(location, path, -1, &full)) return fail;  \
  return call

bool PosixFileManager::Delete(int32_t location, const char* path) {
  PEXO_LOCATED(DeleteRaw(full.c_str()), location, path, false);
}

bool PosixFileManager::DeleteRaw(const char* full) {
  if (::unlink(full) != 0) return SetSystemError(errno);
  return true;
}

bool PosixFileManager::Copy(int32_t from_location, const char* from, int32_t to_location,
                            const char* to) {
  String full_from, full_to;
  if (!ResolvePair(from_location, from, to_location, to, &full_from, &full_to)) return false;
  return CopyRaw(full_from.c_str(), full_to.c_str());
}

bool PosixFileManager::CopyRaw(const char* from, const char* to) {
  if (!Reserve(2)) return false;
  int in = ::open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return SetSystemError(errno);
  int out = ::open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    SetSystemError(errno);
    ::close(in);
    return false;
  }
  char buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) ok = SetSystemError(errno);
      break;
    }
    for (ssize_t done = 0; done < n && ok;) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) ok = SetSystemError(errno);
      else done += w;
    }
    if (!ok) break;
  }
  ::close(in);
  if (::close(out) != 0 && ok) ok = SetSystemError(errno);
  return ok;
}

bool PosixFileManager::Rename(int32_t from_location, const char* from, int32_t to_location,
                              const char* to) {
  String full_from, full_to;
  if (!ResolvePair(from_location, from, to_location, to, &full_from, &full_to)) return false;
  return RenameRaw(full_from.c_str(), full_to.c_str());
}

bool PosixFileManager::RenameRaw(const char* from, const char* to) {
  if (::rename(from, to) != 0) return SetSystemError(errno);
  return true;
}

bool PosixFileManager::Touch(int32_t location, const char* path) {
  PEXO_LOCATED(TouchRaw(full.c_str()), location, path, false);
}

bool PosixFileManager::TouchRaw(const char* full) {
  if (!Reserve(1)) return false;
  int fd = ::open(full, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return SetSystemError(errno);
  bool ok = ::futimens(fd, nullptr) == 0 || SetSystemError(errno);
  ::close(fd);
  return ok;
}

bool PosixFileManager::Exists(int32_t location, const char* path) {
  PEXO_LOCATED(ExistsRaw(full.c_str()), location, path, false);
}

bool PosixFileManager::ExistsRaw(const char* full) {
  struct stat info;
  if (StatPath(full, &info)) return true;
  return SetSystemError(errno);
}

int64_t PosixFileManager::FileSize(int32_t location, const char* path) {
  PEXO_LOCATED(FileSizeRaw(full.c_str()), location, path, -1);
}

int64_t PosixFileManager::FileSizeRaw(const char* full) {
  struct stat info;
  if (!StatPath(full, &info)) {
    SetSystemError(errno);
    return -1;
  }
  return info.st_size;
}

bool PosixFileManager::IsDirectory(int32_t location, const char* path) {
  PEXO_LOCATED(IsDirectoryRaw(full.c_str()), location, path, false);
}

bool PosixFileManager::IsDirectoryRaw(const char* full) {
  struct stat info;
  if (!StatPath(full, &info)) return SetSystemError(errno);
  return S_ISDIR(info.st_mode);
}

bool PosixFileManager::IsFile(int32_t location, const char* path) {
  PEXO_LOCATED(IsFileRaw(full.c_str()), location, path, false);
}

bool PosixFileManager::IsFileRaw(const char* full) {
  struct stat info;
  if (!StatPath(full, &info)) return SetSystemError(errno);
  return S_ISREG(info.st_mode);
}

bool PosixFileManager::SetModificationTime(int32_t location, const char* path, time_t when) {
  PEXO_LOCATED(SetModificationTimeRaw(full.c_str(), when), location, path, false);
}

bool PosixFileManager::SetModificationTimeRaw(const char* full, time_t when) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = when;
  times[1].tv_nsec = 0;
  if (::utimensat(AT_FDCWD, full, times, 0) != 0) return SetSystemError(errno);
  return true;
}

time_t PosixFileManager::ModificationTime(int32_t location, const char* path) {
  PEXO_LOCATED(ModificationTimeRaw(full.c_str()), location, path, -1);
}

time_t PosixFileManager::ModificationTimeRaw(const char* full) {
  struct stat info;
  if (!StatPath(full, &info)) {
    SetSystemError(errno);
    return -1;
  }
  return info.st_mtime;
}

bool PosixFileManager::MakeDirectory(int32_t location, const char* path) {
  PEXO_LOCATED(MakeDirectoryRaw(full.c_str()), location, path, false);
}

bool PosixFileManager::MakeDirectoryRaw(const char* full) {
  if (::mkdir(full, 0777) != 0) return SetSystemError(errno);
  return true;
}

bool PosixFileManager::RemoveDirectory(int32_t location, const char* path) {
  PEXO_LOCATED(RemoveDirectoryRaw(full.c_str()), location, path, false);
}

bool PosixFileManager::RemoveDirectoryRaw(const char* full) {
  if (::rmdir(full) != 0) return SetSystemError(errno);
  return true;
}

bool PosixFileManager::MakeSymbolicLink(int32_t, const char*, const char*) {
  return MakeSymbolicLinkRaw(nullptr, nullptr);
}

bool PosixFileManager::MakeSymbolicLinkRaw(const char*, const char*) {
  SetError("PosixFileManager::MakeSymbolicLink is not implemented");
  return false;
}

bool PosixFileManager::SetWritable(int32_t location, const char* path, int32_t flags) {
  PEXO_LOCATED(SetWritableRaw(full.c_str(), flags), location, path, false);
}

bool PosixFileManager::SetWritableRaw(const char* full, int32_t flags) {
  struct stat info;
  if (!StatPath(full, &info)) return SetSystemError(errno);
  mode_t mode = info.st_mode & 07777;
  mode = (flags & FILE_MUST_EXIST) ? (mode | S_IWUSR) : (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH));
  if (::chmod(full, mode) != 0) return SetSystemError(errno);
  return true;
}

bool PosixFileManager::ListDirectory(int32_t location, const char* path,
                                     std::vector<std::string>* names) {
  String full;
  if (!ResolvePath(location, path, -1, &full)) return false;
  if (!Reserve(1)) return false;
  DIR* dir = ::opendir(full.c_str());
  if (!dir) return SetSystemError(errno);
  names->clear();
  while (struct dirent* entry = ::readdir(dir)) {
    if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
    names->emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return true;
}

#undef PEXO_LOCATED

}  // namespace pexo
