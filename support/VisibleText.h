// Text from outside made safe to print: control characters shown as \xNN.
#pragma once

#include <string>

namespace nl {

std::string VisibleText(const std::string& text);

}  // namespace nl
