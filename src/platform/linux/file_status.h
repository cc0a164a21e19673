// struct stat to FileStatus, shared by the walks of this backend.
#pragma once

#include <sys/stat.h>

#include <cerrno>

#include "platform/file_system.h"

namespace glimmet::platform {

inline FileStatus statusOf(const struct stat& info) {
  FileStatus status;
  if (S_ISDIR(info.st_mode))
    status.kind = FileStatus::Kind::directory;
  else if (S_ISLNK(info.st_mode))
    status.kind = FileStatus::Kind::symlink;
  else if (S_ISREG(info.st_mode))
    status.kind = FileStatus::Kind::file;
  status.device = info.st_dev;
  status.inode = info.st_ino;
  status.links = info.st_nlink;
  status.blocks512 = info.st_blocks > 0 ? static_cast<uint64_t>(info.st_blocks) : 0;
  status.size = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
  status.modified = info.st_mtim;
  status.owner = info.st_uid;
  status.mode = info.st_mode;
  return status;
}

inline bool isPermissionError(int error) {
  return error == EACCES || error == EPERM;
}

}  // namespace glimmet::platform
