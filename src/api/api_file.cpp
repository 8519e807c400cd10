// The file and directory family of the extension API. Paths are resolved to
// full paths first (script directory, configured root, or the sandboxed data
// directory) and then handled by the file manager's full-path operations.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "api/api_context.h"
#include "values/config.h"
#include "io/file_manager.h"
#include "values/variable.h"
#include "values/variable_list.h"

using namespace pexo;

namespace {

// Records a failure where pxFile_Error with no file finds it.
void Fail(ApiContext* context, const char* message) {
  if (context->files())
    context->files()->SetError(message);
  else
    context->SetError(message);
}

void JoinPath(const char* base, int32_t base_length, const char* path, int32_t length,
              String* full) {
  full->assign(base, base_length);
  bool base_ends = base_length > 0 && base[base_length - 1] == '/';
  bool path_starts = length > 0 && path[0] == '/';
  if (!base_ends && !path_starts) full->append('/');
  full->append(path, length);
}

// The full path of a location and path, or false with the reason recorded.
bool FullPath(ApiContext* context, int32_t location, const char* path, int32_t length,
              String* full) {
  if (!path) {
    Fail(context, "No file name given");
    return false;
  }
  if (length < 0) length = static_cast<int32_t>(strlen(path));
  if (memchr(path, 0, static_cast<size_t>(length))) {
    Fail(context, "Invalid file name");
    return false;
  }
  if (location == PX_LOCATION_SCRIPT) {
    if (length > 0 && path[0] == '/') {
      full->assign(path, length);
      return true;
    }
    const String& dir = context->script_directory();
    if (dir.empty()) {
      Fail(context, "The script directory is not known");
      return false;
    }
    JoinPath(dir.data(), dir.length(), path, length, full);
    return true;
  }
  if (location == PX_LOCATION_ROOT) {
    int32_t root_length = 0;
    const char* root =
        context->config() ? context->config()->GetString(CFG_DIR_PEXO, &root_length) : nullptr;
    if (!root || root_length == 0) {
      Fail(context, "The root directory is not configured");
      return false;
    }
    JoinPath(root, root_length, path, length, full);
    return true;
  }
  if (!context->files()) {
    Fail(context, "No file manager");
    return false;
  }
  return context->files()->ResolvePath(FILE_DATA, path, length, full);
}

// Resolves and checks that a file manager is there for the operation.
bool Prepare(PexoProgram* program, int32_t location, const char* path, int32_t length,
             String* full) {
  ApiContext* context = AsContext(program);
  if (!FullPath(context, location, path, length, full)) return false;
  if (!context->files()) {
    Fail(context, "No file manager");
    return false;
  }
  return true;
}

FileManager* Files(PexoProgram* program) { return AsContext(program)->files(); }

// Records errno's text; only after Prepare, which guarantees a manager.
void FailWithErrno(ApiContext* context) {
  int code = errno;
  Fail(context, context->files()->SystemErrorText(code).c_str());
}

int32_t OpenFlags(int32_t mode) {
  int32_t flags = mode & (FILE_READ | FILE_WRITE | FILE_CREATE | FILE_TRUNCATE);
  return flags ? flags : FILE_READ;
}

bool StatPath(ApiContext* context, const String& full, struct stat* info) {
  if (stat(full.c_str(), info) == 0) return true;
  FailWithErrno(context);
  return false;
}

// Resolves a script path and reads its status; false (with the error set)
// when either fails.
bool StatFile(PexoProgram* program, int32_t location, const char* path, int32_t length,
              struct stat* info) {
  String full;
  return Prepare(program, location, path, length, &full) &&
         StatPath(AsContext(program), full, info);
}

}  // namespace

extern "C" {

PexoFile* pxFile_Open(PexoProgram* program, int32_t location, const char* path, int32_t length,
                      int32_t mode) {
  String full;
  if (!Prepare(program, location, path, length, &full)) return nullptr;
  return AsHandle(Files(program)->OpenRaw(full.c_str(), OpenFlags(mode)));
}

int pxFile_Close(PexoFile* file) {
  if (!file) return -1;
  delete AsFile(file);
  return 0;
}

int32_t pxFile_Read(PexoFile* file, void* buffer, int32_t count) {
  if (!buffer || count < 0) return -1;
  return AsFile(file)->Read(buffer, count);
}

int32_t pxFile_Write(PexoFile* file, const void* buffer, int32_t count) {
  if (!buffer || count < 0) return -1;
  return AsFile(file)->Write(buffer, count) ? count : -1;
}

int pxFile_Seek(PexoFile* file, int64_t position) {
  return position >= 0 && AsFile(file)->Seek(position) ? 0 : -1;
}

int64_t pxFile_Tell(PexoFile* file) { return AsFile(file)->Position(); }

int64_t pxFile_Length(PexoFile* file) { return AsFile(file)->Size(); }

int pxFile_Lock(PexoFile* file, int64_t offset, int64_t length, int exclusive) {
  return AsFile(file)->LockRange(offset, length, exclusive != 0) ? 0 : -1;
}

int pxFile_Release(PexoFile* file, int64_t offset, int64_t length) {
  return AsFile(file)->UnlockRange(offset, length) ? 0 : -1;
}

int pxFile_Exists(PexoProgram* program, int32_t location, const char* path, int32_t length) {
  String full;
  return Prepare(program, location, path, length, &full) && Files(program)->ExistsRaw(full.c_str())
             ? 1
             : 0;
}

int pxFile_IsDirectory(PexoProgram* program, int32_t location, const char* path,
                       int32_t length) {
  String full;
  return Prepare(program, location, path, length, &full) &&
                 Files(program)->IsDirectoryRaw(full.c_str())
             ? 1
             : 0;
}

int64_t pxFile_Size(PexoProgram* program, int32_t location, const char* path, int32_t length) {
  String full;
  if (!Prepare(program, location, path, length, &full)) return -1;
  return Files(program)->FileSizeRaw(full.c_str());
}

int32_t pxFile_Mode(PexoProgram* program, int32_t location, const char* path, int32_t length) {
  struct stat info;
  if (!StatFile(program, location, path, length, &info)) return -1;
  return static_cast<int32_t>(info.st_mode & 07777);
}

int64_t pxFile_Time(PexoProgram* program, int32_t location, const char* path, int32_t length) {
  struct stat info;
  if (!StatFile(program, location, path, length, &info)) return -1;
  return static_cast<int64_t>(info.st_mtime);
}

int64_t pxFile_OwnerID(PexoProgram* program, int32_t location, const char* path,
                       int32_t length) {
  struct stat info;
  if (!StatFile(program, location, path, length, &info)) return -1;
  return static_cast<int64_t>(info.st_uid);
}

int64_t pxFile_GroupID(PexoProgram* program, int32_t location, const char* path,
                       int32_t length) {
  struct stat info;
  if (!StatFile(program, location, path, length, &info)) return -1;
  return static_cast<int64_t>(info.st_gid);
}

int pxFile_Delete(PexoProgram* program, int32_t location, const char* path, int32_t length) {
  String full;
  return Prepare(program, location, path, length, &full) && Files(program)->DeleteRaw(full.c_str())
             ? 0
             : -1;
}

int pxFile_Rename(PexoProgram* program, int32_t from_location, const char* from,
                  int32_t from_length, int32_t to_location, const char* to, int32_t to_length) {
  String source, target;
  if (!Prepare(program, from_location, from, from_length, &source) ||
      !Prepare(program, to_location, to, to_length, &target))
    return -1;
  return Files(program)->RenameRaw(source.c_str(), target.c_str()) ? 0 : -1;
}

int pxFile_Copy(PexoProgram* program, int32_t from_location, const char* from,
                int32_t from_length, int32_t to_location, const char* to, int32_t to_length) {
  String source, target;
  if (!Prepare(program, from_location, from, from_length, &source) ||
      !Prepare(program, to_location, to, to_length, &target))
    return -1;
  return Files(program)->CopyRaw(source.c_str(), target.c_str()) ? 0 : -1;
}

int pxFile_MakeDirectory(PexoProgram* program, int32_t location, const char* path,
                         int32_t length) {
  String full;
  return Prepare(program, location, path, length, &full) &&
                 Files(program)->MakeDirectoryRaw(full.c_str())
             ? 0
             : -1;
}

int pxFile_RemoveDirectory(PexoProgram* program, int32_t location, const char* path,
                           int32_t length) {
  String full;
  return Prepare(program, location, path, length, &full) &&
                 Files(program)->RemoveDirectoryRaw(full.c_str())
             ? 0
             : -1;
}

int pxFile_Change_Mode(PexoProgram* program, int32_t location, const char* path,
                       int32_t length, int32_t mode) {
  String full;
  if (!Prepare(program, location, path, length, &full)) return -1;
  if (chmod(full.c_str(), static_cast<mode_t>(mode & 07777)) == 0) return 0;
  FailWithErrno(AsContext(program));
  return -1;
}

int pxFile_TouchFile(PexoProgram* program, int32_t location, const char* path, int32_t length) {
  String full;
  return Prepare(program, location, path, length, &full) && Files(program)->TouchRaw(full.c_str())
             ? 0
             : -1;
}

int pxFile_MakeSymbolicLink(PexoProgram* program, int32_t location, const char* target,
                            int32_t target_length, const char* path, int32_t length) {
  String full, to;
  if (!Prepare(program, location, path, length, &full) ||
      !Prepare(program, location, target, target_length, &to))
    return -1;
  return Files(program)->MakeSymbolicLinkRaw(to.c_str(), full.c_str()) ? 0 : -1;
}

int pxFile_SetTime(PexoProgram* program, int32_t location, const char* path, int32_t length,
                   int64_t when) {
  String full;
  return Prepare(program, location, path, length, &full) &&
                 Files(program)->SetModificationTimeRaw(full.c_str(), static_cast<time_t>(when))
             ? 1
             : 0;
}

int pxFile_LockFile(PexoProgram* program, int32_t location, const char* path, int32_t length) {
  String full;
  if (!Prepare(program, location, path, length, &full)) return LOCK_ERROR;
  return Files(program)->AcquireLockRaw(full.c_str());
}

int pxFile_LockFile_Valid(PexoProgram* program, int32_t location, const char* path,
                          int32_t length) {
  String full;
  if (!Prepare(program, location, path, length, &full)) return LOCK_GONE;
  return Files(program)->InspectLockRaw(full.c_str());
}

char* pxFile_MakeTemporary(PexoProgram* program, int32_t location, const char* directory,
                           int32_t length, const char* prefix, int32_t* out_length) {
  String dir, base, name;
  if (!Prepare(program, location, directory, length, &dir)) return nullptr;
  const char* stem = prefix && *prefix ? prefix : "px";
  JoinPath(dir.data(), dir.length(), stem, static_cast<int32_t>(strlen(stem)), &base);
  File* file = Files(program)->CreateUniqueFileRaw(base.c_str(), &name, FILE_WRITE);
  if (!file) return nullptr;
  delete file;
  return ApiCopyText(name.data(), name.length(), out_length, nullptr);
}

char* pxFile_NormalizePath(PexoProgram* program, int32_t location, const char* path,
                           int32_t length, int32_t* out_length) {
  String full;
  if (!FullPath(AsContext(program), location, path, length, &full)) return nullptr;
  return ApiCopyText(full.data(), full.length(), out_length, nullptr);
}

char pxFile_Path_Separator(void) { return '/'; }

const char* pxFile_Error(PexoProgram* program, PexoFile* file, int32_t* length) {
  const String* text;
  if (file)
    text = &AsFile(file)->ErrorText();
  else if (program && AsContext(program)->files())
    text = &AsContext(program)->files()->ErrorText();
  else if (program)
    text = &AsContext(program)->ErrorText();
  else
    text = nullptr;
  if (length) *length = text ? text->length() : 0;
  return text ? text->data() : "";
}

char* pxFile_Resolve(PexoProgram* program, int32_t, const char*, int32_t) {
  Fail(AsContext(program), "pxFile_Resolve is no longer supported");
  return nullptr;
}

int32_t pxDirectory_Listing(PexoProgram* program, int32_t location, const char* path,
                            int32_t length, int32_t kind, PexoVariableList* list) {
  String full;
  if (!list || !Prepare(program, location, path, length, &full)) return -1;
  DIR* dir = opendir(full.c_str());
  if (!dir) {
    FailWithErrno(AsContext(program));
    return -1;
  }
  int32_t count = 0;
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (!strcmp(name, ".") || !strcmp(name, "..")) continue;
    if (kind == PX_LIST_FILES || kind == PX_LIST_DIRECTORIES) {
      std::string child = std::string(full.c_str()) + "/" + name;
      struct stat info;
      if (stat(child.c_str(), &info) != 0) continue;
      bool is_dir = S_ISDIR(info.st_mode);
      if (is_dir != (kind == PX_LIST_DIRECTORIES)) continue;
    }
    Variable* v = new Variable(name);
    v->SetValue(name);
    AsList(list)->Insert(v);
    v->Release();
    ++count;
  }
  closedir(dir);
  return count;
}

}  // extern "C"
