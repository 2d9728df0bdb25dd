#include "controls/PropertyPage.h"

#include <utility>

namespace nl {

PropertyPage::PropertyPage(std::string name, std::string caption)
    : name_(std::move(name)), caption_(std::move(caption)) {}

void PropertyPage::AddLabel(const plat::FormRect& at, const std::string& text) {
    Item item;
    item.at = at;
    item.text = text;
    items_.push_back(std::move(item));
}

void PropertyPage::AddField(const std::string& name, FieldKind kind, const plat::FormRect& at,
                            const std::string& caption, const std::vector<std::string>& entries) {
    Item item;
    item.isField = true;
    item.name = name;
    item.kind = kind;
    item.at = at;
    item.text = caption;
    item.entries = entries;
    items_.push_back(std::move(item));
}

bool PropertyPage::Create(plat::HWND form, int pageId, int firstId) {
    form_ = form;
    int id = firstId;
    for (auto& item : items_) {
        item.id = id++;
        bool ok = false;
        if (!item.isField) {
            ok = plat::AddLabel(form, item.id, item.at, item.text);
        } else if (item.kind == FieldKind::TextBox) {
            ok = plat::AddTextBox(form, item.id, item.at);
        } else if (item.kind == FieldKind::CheckBox) {
            ok = plat::AddCheckBox(form, item.id, item.at, item.text);
        } else {
            ok = plat::AddDropDownList(form, item.id, item.at, item.entries);
        }
        if (!ok || !plat::MoveToPage(form, item.id, pageId)) return false;
        if (item.isField && !plat::SetControlName(form, item.id, item.name)) return false;
    }
    return true;
}

const PropertyPage::Item* PropertyPage::FindField(const std::string& name) const {
    for (const auto& item : items_)
        if (item.isField && item.name == name) return &item;
    return nullptr;
}

const PropertyPage::Item* PropertyPage::FindId(int id) const {
    for (const auto& item : items_)
        if (item.id == id && id != 0) return &item;
    return nullptr;
}

int PropertyPage::FieldId(const std::string& field) const {
    const Item* item = FindField(field);
    return item ? item->id : 0;
}

bool PropertyPage::HandleCommand(int id, std::uint16_t code) {
    const Item* item = FindId(id);
    if (!item) return false;
    if (!item->isField) return true;
    switch (item->kind) {
        case FieldKind::TextBox:
            if (code == plat::PL_EN_CHANGE) {
                SetChanged(true);
            } else if (code == plat::PL_EN_SETFOCUS) {
                // The whole text, ready to be typed over.
                std::string text;
                plat::GetControlText(form_, id, &text);
                plat::SelectText(form_, id, 0, static_cast<int>(text.size()));
            }
            break;
        case FieldKind::CheckBox:
            if (code == plat::PL_BN_CLICKED) SetChanged(true);
            break;
        case FieldKind::DropDownList:
            if (code == plat::PL_CBN_SELCHANGE) SetChanged(true);
            break;
    }
    return true;
}

void PropertyPage::SetChanged(bool changed) {
    if (changed_ == changed) return;
    changed_ = changed;
    if (OnChangedMark) OnChangedMark();
}

std::string PropertyPage::Text(const std::string& field) const {
    std::string text;
    plat::GetControlText(form_, FieldId(field), &text);
    return text;
}

void PropertyPage::SetText(const std::string& field, const std::string& text) {
    plat::SetControlText(form_, FieldId(field), text);
}

int PropertyPage::Value(const std::string& field) const {
    const Item* item = FindField(field);
    if (!item) return 0;
    return item->kind == FieldKind::DropDownList ? plat::GetListIndex(form_, item->id)
                                                 : plat::GetCheck(form_, item->id);
}

void PropertyPage::SetValue(const std::string& field, int value) {
    const Item* item = FindField(field);
    if (!item) return;
    if (item->kind == FieldKind::DropDownList)
        plat::SetListIndex(form_, item->id, value);
    else
        plat::SetCheck(form_, item->id, value);
}

}  // namespace nl
