#include "platform/frontends/terminal/LineReader.h"

namespace plat {

bool LineReader::Take(std::string& line) {
    line.clear();
    if (lines_.empty()) return false;
    line = std::move(lines_.front());
    lines_.pop_front();
    return true;
}

void LineReader::Feed(const char* data, std::size_t size) {
    partial_.append(data, size);
    std::size_t start = 0;
    for (std::size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1) {
        std::string line = partial_.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(std::move(line));
    }
    partial_.erase(0, start);
}

void LineReader::End() {
    eof_ = true;
    if (!partial_.empty()) {
        lines_.push_back(std::move(partial_));
        partial_.clear();
    }
}

}  // namespace plat
