// The version calls of platform/VersionInfo.h on Linux, over PE and ELF files.
#include "platform/VersionInfo.h"

#include <vector>

#include "platform/posix/FileSource.h"
#include "platform/posix/VersionResource.h"

namespace plat {
namespace {

bool LoadBlock(const char* fileName, std::vector<std::uint8_t>& block) {
    if (!fileName || !*fileName) return false;
    posix::FileSource file;
    return file.Open(fileName) && posix::VersionResource::Extract(file, block);
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
    return posix::VersionResource::Query(block, subBlock, buffer, len);
}

}  // namespace plat
