// errno to Windows error numbers (internal to platform/posix).
#pragma once

#include <cerrno>

#include "platform/Errors.h"

namespace plat::posix {

DWORD FromErrno(int err);
void SetLastErrorFromErrno(int err);

}  // namespace plat::posix
