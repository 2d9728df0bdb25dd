#include "support/Variant.h"

namespace nl {

std::int32_t Variant::Integer() const {
    if (kind() == Kind::Int16) return std::get<std::int16_t>(v_);
    return std::get<std::int32_t>(v_);
}

std::string Variant::ToText() const {
    switch (kind()) {
        case Kind::Empty: return std::string();
        case Kind::Text: return Text();
        case Kind::Int16:
        case Kind::Int32: return std::to_string(Integer());
        case Kind::Bool: return Bool() ? "True" : "False";
        case Kind::Bytes: {
            const auto& d = Bytes().data;
            return std::string(d.begin(), d.end());
        }
    }
    return std::string();
}

}  // namespace nl
