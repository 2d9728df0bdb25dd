// The version calls of platform/VersionInfo.h on Linux, over PE and ELF files.
#include "platform/VersionInfo.h"

#include <cerrno>
#include <vector>

#include "platform/Errors.h"
#include "platform/posix/ErrorMap.h"
#include "platform/posix/FileSource.h"
#include "platform/posix/VersionResource.h"

namespace plat {
namespace {

constexpr DWORD kErrorResourceDataNotFound = 1812;  // ERROR_RESOURCE_DATA_NOT_FOUND
constexpr DWORD kErrorResourceTypeNotFound = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND

// Sets the last error the way the version calls do when there is no block.
bool LoadBlock(const char* fileName, std::vector<std::uint8_t>& block) {
    if (!fileName || !*fileName) {
        SetLastError(static_cast<DWORD>(PL_ERROR_PATH_NOT_FOUND));
        return false;
    }
    posix::FileSource file;
    errno = 0;
    if (!file.Open(fileName)) {
        SetLastError(errno ? posix::FromErrno(errno) : static_cast<DWORD>(PL_ERROR_ACCESS_DENIED));
        return false;
    }
    if (!posix::VersionResource::Extract(file, block)) {
        SetLastError(kErrorResourceDataNotFound);
        return false;
    }
    return true;
}

}  // namespace

DWORD GetFileVersionInfoSizeA(const char* fileName, DWORD* handle) {
    if (handle) *handle = 0;
    std::vector<std::uint8_t> block;
    if (!LoadBlock(fileName, block)) return 0;
    return posix::VersionResource::BufferSize(block.size());
}

BOOL GetFileVersionInfoA(const char* fileName, DWORD /*handle*/, DWORD len, void* data) {
    std::vector<std::uint8_t> block;
    if (!data || !LoadBlock(fileName, block)) return 0;
    return posix::VersionResource::Fill(block, len, data) ? 1 : 0;
}

BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* len) {
    BOOL ok = posix::VersionResource::Query(block, subBlock, buffer, len);
    if (!ok) SetLastError(kErrorResourceTypeNotFound);
    return ok;
}

}  // namespace plat
