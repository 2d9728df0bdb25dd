#include "app/StagedPackage.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "support/Sha256.h"

namespace nl {

StagedPackage::StagedPackage(const std::string& path) : path_(path) {
    file_ = plat::OpenFileForReading(path);
    std::uint64_t size = 0;
    if (file_ != plat::PL_INVALID_FILE_HANDLE && plat::SizeOfOpenFile(file_, size) && size <= INT64_MAX)
        length_ = static_cast<std::int64_t>(size);
}

StagedPackage::~StagedPackage() { Close(); }

void StagedPackage::Close() {
    if (file_ != plat::PL_INVALID_FILE_HANDLE) plat::CloseOpenFile(file_);
    file_ = plat::PL_INVALID_FILE_HANDLE;
    length_ = -1;
}

std::string StagedPackage::Digest() {
    std::string digest;
    if (!IsOpen() || !Sha256::OfOpenFile(file_, digest)) return "";
    return digest;
}

bool StagedPackage::CopyTo(const std::string& target) {
    if (!IsOpen()) {
        plat::SetLastError(plat::PL_ERROR_FILE_NOT_FOUND);
        return false;
    }
    return plat::CopyOpenFile(file_, target, false);
}

}  // namespace nl
