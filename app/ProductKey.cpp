#include "app/ProductKey.h"

namespace nl {
namespace {

cRegistry Value(std::int32_t root, const char* name, std::int32_t kind) {
    cRegistry value;
    value.SetClassKey(root);
    value.SetSectionKey(ProductKey::kSection);
    value.SetValueKey(name);
    value.SetValueType(kind);
    return value;
}

}  // namespace

cRegistry ProductKey::ProgramPath() { return Text(cRegistry::PL_HKEY_LOCAL_MACHINE, "Path"); }

cRegistry ProductKey::UpdateFlag() {
    return Value(cRegistry::PL_HKEY_CURRENT_USER, "Update", cRegistry::PL_REG_DWORD);
}

cRegistry ProductKey::UpdateServer() { return Text(cRegistry::PL_HKEY_LOCAL_MACHINE, "UpdateServer"); }

cRegistry ProductKey::Text(std::int32_t root, const char* name) { return Value(root, name, cRegistry::PL_REG_SZ); }

}  // namespace nl
