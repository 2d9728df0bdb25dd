#include "support/LocalFile.h"

#include <cerrno>
#include <cstring>
#include <set>

#include "platform/Files.h"

namespace nl {

namespace {
std::set<std::int32_t>& NumbersInUse() {
    static std::set<std::int32_t> used;
    return used;
}

std::int32_t TakeFreeNumber() {
    auto& used = NumbersInUse();
    std::int32_t n = 1;
    while (used.count(n)) ++n;
    used.insert(n);
    return n;
}
}  // namespace

bool LocalFile::Open(const std::string& path) {
    Close();
    if (path.empty()) return false;
    // Never through a link: what the name leads to elsewhere is not ours to write.
    std::FILE* f = plat::OpenDataFile(path);
    if (!f) {
        problem_ = std::strerror(errno);
        return false;
    }
    problem_.clear();
    file_ = f;
    path_ = path;
    number_ = TakeFreeNumber();
    return true;
}

bool LocalFile::Seek(std::int64_t offset) {
    return plat::SeekDataFile(file_, offset);
}

bool LocalFile::Truncate() {
    if (!file_) return false;
    // The stream that was opened, emptied: its name may lead elsewhere by now.
    if (plat::TruncateDataFile(file_)) return true;
    problem_ = std::strerror(errno);
    Close();
    return false;
}

bool LocalFile::Write(const void* data, std::size_t n) {
    if (!file_) return false;
    if (std::fwrite(data, 1, n, file_) == n) return true;
    problem_ = std::strerror(errno);
    return false;
}

void LocalFile::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (number_) NumbersInUse().erase(number_);
    number_ = 0;
    path_.clear();
}

}  // namespace nl
