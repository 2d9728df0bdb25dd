// A form as the forms' model keeps it: its FormSpec, its controls, whether it is
// shown (platform/FrontEnd.h). Internal to platform/.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/FormControl.h"

namespace plat {

struct FormModel {
    HWND hwnd = 0;
    FormSpec spec;
    std::vector<std::unique_ptr<FormControl>> controls;
    bool shown = false;
    std::string icon;      // the picture SetFormIcon gave
    std::string iconFile;  // where it is (platform/PictureSource.h), "" for none
    void* widget = nullptr;  // the front end's own

    FormControl* Find(int id) const {
        for (const auto& c : controls)
            if (c->id == id) return c.get();
        return nullptr;
    }
    // The pages of a tab strip, in order.
    std::vector<FormControl*> PagesOf(int tabsId) const {
        std::vector<FormControl*> pages;
        for (const auto& c : controls)
            if (c->kind == FormControl::Kind::TabPage && c->parent == tabsId) pages.push_back(c.get());
        return pages;
    }
};

}  // namespace plat
