#include "platform/frontends/terminal/TextSurfacePainter.h"

#include <algorithm>

#include "platform/VisibleText.h"

namespace plat {

std::string TextSurfacePainter::Paint(const SurfacePicture& p) const {
    if (p.fills.empty() || p.width <= 0) return "";
    int lo = p.width, hi = 0;
    for (const auto& f : p.fills) {
        lo = std::min(lo, std::max(0, std::min(f.x1, f.x2)));
        hi = std::max(hi, std::min(p.width, std::max(f.x1, f.x2)));
    }
    const double share = hi > lo ? static_cast<double>(hi - lo) / p.width : 0.0;
    const int cells = static_cast<int>(share * cells_ + 0.5);
    const int percent = static_cast<int>(share * 100 + 0.5);
    std::string texts;
    for (const auto& t : p.texts) {
        const std::size_t b = t.text.find_first_not_of(" \t\r\n");
        if (b == std::string::npos) continue;
        const std::size_t e = t.text.find_last_not_of(" \t\r\n");
        texts += " " + VisibleText(t.text.substr(b, e - b + 1));
    }
    return "[" + std::string(static_cast<std::size_t>(cells), '#') +
           std::string(static_cast<std::size_t>(cells_ - cells), '.') + "]" +
           (texts.empty() ? " " + std::to_string(percent) + "%" : texts);
}

}  // namespace plat
