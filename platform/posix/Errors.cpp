#include "platform/Errors.h"

#include "platform/posix/ErrorMap.h"

namespace plat {
namespace {
thread_local DWORD t_lastError = 0;
}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

namespace posix {

DWORD FromErrno(int err) {
    switch (err) {
        case 0: return PL_NO_ERROR;
        case ENOENT: return PL_ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return PL_ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return PL_ERROR_ACCESS_DENIED;
        case EBADF: return PL_ERROR_INVALID_HANDLE;
        case ENOMEM: return PL_ERROR_NOT_ENOUGH_MEMORY;
        case EBUSY:
        case ETXTBSY: return PL_ERROR_SHARING_VIOLATION;
        case EEXIST: return PL_ERROR_ALREADY_EXISTS;
        case EINVAL: return PL_ERROR_INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return PL_ERROR_DISK_FULL;
        case ENAMETOOLONG: return PL_ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY: return PL_ERROR_DIR_NOT_EMPTY;
        case ESRCH: return PL_ERROR_INVALID_PARAMETER;
        case EIO: return PL_ERROR_WRITE_FAULT;
        default: return PL_ERROR_ACCESS_DENIED;
    }
}

void SetLastErrorFromErrno(int err) { SetLastError(FromErrno(err)); }

}  // namespace posix
}  // namespace plat
