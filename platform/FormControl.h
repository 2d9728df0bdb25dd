// A control of a form as the forms' model keeps it (platform/FrontEnd.h).
// Internal to platform/.
#pragma once

#include <string>
#include <vector>

#include "platform/Forms.h"

namespace plat {

struct FormControl {
    enum class Kind { Label, Button, Image, WebView, Surface, TextBox, CheckBox, DropDownList, Tabs, TabPage };
    Kind kind = Kind::Label;
    int id = 0;
    FormRect at;  // relative to the page when `parent` is set
    int parent = 0;  // the tab page holding it (a tab page: its tabs), 0 = the form
    std::string name;
    std::string text;  // label text, button, check box and tab caption, where an image
                       // is (platform/PictureSource.h),
                       // web view address, text box text
    int value = 0;     // check box 0/1, list index (-1 none), tabs: the page shown
    std::vector<std::string> entries;  // a list's
    int selStart = 0, selLength = 0;   // a text box's selection
    std::string fontName;  // labels: empty = the form's font
    int fontPoints = 0;
    bool enabled = true;
    SurfacePicture picture;
    void* widget = nullptr;  // the front end's own
};

}  // namespace plat
