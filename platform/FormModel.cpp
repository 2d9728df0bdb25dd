// The forms' model on every system: the forms, their controls and texts, the
// active form and the open message boxes (platform/FrontEnd.h). The front end
// shows what the model holds; the system chooses the front end
// (platform/FrontEndSystem.h).
#include "platform/Forms.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <vector>

#include "platform/FrontEnd.h"
#include "platform/FrontEndSystem.h"
#include "platform/PictureSource.h"
#include "platform/Window.h"

namespace plat {

namespace {

// A message box waiting for its answer; 0 until it has one.
struct OpenBox {
    std::shared_ptr<int> answer;
    UINT type;
};

struct State {
    FrontEndKind kind = FrontEndKind::NotStarted;
    FrontEnd* frontEnd = nullptr;  // lives as long as the process
    std::map<HWND, std::unique_ptr<FormModel>> forms;
    std::vector<HWND> shownOrder;  // shown forms, the active one last
    std::vector<OpenBox> boxes;    // the innermost last
    bool ending = false;           // the run was asked to end (EndFormsRun)
};

State& S() {
    static State state;
    return state;
}

FormModel* ActiveForm() {
    auto& s = S();
    if (s.shownOrder.empty()) return nullptr;
    auto it = s.forms.find(s.shownOrder.back());
    return it == s.forms.end() ? nullptr : it->second.get();
}

// Closes every form as its frame would; each form decides what that means, and a
// question it asks on the way is answered at once.
void CloseForms() {
    std::vector<HWND> hwnds;
    for (const auto& [hwnd, form] : S().forms) hwnds.push_back(hwnd);
    for (HWND hwnd : hwnds) PostMessageA(hwnd, PL_WM_CLOSE, 0, 0);
}

}  // namespace

bool EndFormsRun() {
    auto& s = S();
    if (s.forms.empty() && s.boxes.empty()) return false;
    s.ending = true;
    // The front end answers its boxes, innermost first, as it shows them.
    for (std::size_t i = 0; i < s.boxes.size(); ++i) s.frontEnd->InterruptMessageBox();
    for (OpenBox& box : s.boxes)
        if (*box.answer == 0) *box.answer = InterruptAnswer(box.type);
    if (s.boxes.empty()) CloseForms();  // otherwise when the last box has closed (MessageBoxA)
    return true;
}

bool InterruptForms() {
    auto& s = S();
    if (!s.boxes.empty()) {
        s.frontEnd->InterruptMessageBox();
        return true;
    }
    FormModel* form = ActiveForm();
    if (!form && !s.forms.empty()) form = s.forms.rbegin()->second.get();
    if (!form) return false;
    if (form->spec.cancelId != 0 && form->Find(form->spec.cancelId))
        PostMessageA(form->hwnd, PL_WM_COMMAND, static_cast<WPARAM>(form->spec.cancelId), 0);
    else
        PostMessageA(form->hwnd, PL_WM_CLOSE, 0, 0);
    return true;
}

namespace {

// ---- the forms -------------------------------------------------------------

void Activate(FormModel& form) {
    PostMessageA(form.hwnd, PL_WM_ACTIVATE, 1, 0);
    S().frontEnd->FormActivated(form);
}

// Takes the form out of the shown ones; the one shown before it becomes active
// again when this one was the active one.
void Unshow(HWND hwnd) {
    auto& order = S().shownOrder;
    auto it = std::find(order.begin(), order.end(), hwnd);
    if (it == order.end()) return;
    bool wasActive = (it + 1 == order.end());
    order.erase(it);
    if (wasActive) {
        if (FormModel* next = ActiveForm()) Activate(*next);
    }
}

}  // namespace

void FormWindowDestroyed(HWND hwnd) {
    auto& s = S();
    auto it = s.forms.find(hwnd);
    if (it == s.forms.end()) return;
    std::unique_ptr<FormModel> form = std::move(it->second);
    s.forms.erase(it);
    s.frontEnd->FormDestroyed(*form);
    Unshow(hwnd);
}

namespace {

FormModel* FindForm(HWND hwnd) {
    auto& forms = S().forms;
    auto it = forms.find(hwnd);
    return it == forms.end() ? nullptr : it->second.get();
}

}  // namespace

FrontEndKind StartFrontEnd() {
    auto& s = S();
    if (s.kind == FrontEndKind::NotStarted) s.frontEnd = OpenSystemFrontEnd(&s.kind);
    return s.kind;
}

FrontEndKind CurrentFrontEnd() { return S().kind; }

HWND CreateForm(const FormSpec& spec, WindowProc proc) {
    StartFrontEnd();
    if (!proc) return 0;
    HWND hwnd = CreateTopLevelWindow(spec.caption);
    if (!hwnd) return 0;
    SetWindowProc(hwnd, proc);
    auto form = std::make_unique<FormModel>();
    form->hwnd = hwnd;
    form->spec = spec;
    FormModel& ref = *form;
    S().forms[hwnd] = std::move(form);
    S().frontEnd->FormCreated(ref);
    return hwnd;
}

namespace {

bool AddControl(HWND hwnd, FormControl::Kind kind, int id, const FormRect& at, const std::string& text,
                const std::string& fontName = "", int fontPoints = 0) {
    FormModel* form = FindForm(hwnd);
    if (!form || form->Find(id)) return false;
    auto c = std::make_unique<FormControl>();
    c->kind = kind;
    c->id = id;
    c->at = at;
    c->text = text;
    c->fontName = fontName;
    c->fontPoints = fontPoints;
    if (kind == FormControl::Kind::Surface) {
        c->picture.width = at.width;
        c->picture.height = at.height;
    }
    FormControl& ref = *c;
    form->controls.push_back(std::move(c));
    S().frontEnd->ControlAdded(*form, ref);
    return true;
}

FormControl* FindControl(HWND hwnd, int id, FormModel** formOut) {
    FormModel* form = FindForm(hwnd);
    if (!form) return nullptr;
    *formOut = form;
    return form->Find(id);
}

}  // namespace

bool AddLabel(HWND form, int id, const FormRect& at, const std::string& text, const std::string& fontName,
              int fontPoints) {
    return AddControl(form, FormControl::Kind::Label, id, at, text, fontName, fontPoints);
}

bool AddButton(HWND form, int id, const FormRect& at, const std::string& caption) {
    return AddControl(form, FormControl::Kind::Button, id, at, caption);
}

bool AddImage(HWND form, int id, const FormRect& at, const std::string& picture) {
    return AddControl(form, FormControl::Kind::Image, id, at, PictureSource(picture));
}

bool AddWebView(HWND form, int id, const FormRect& at) { return AddControl(form, FormControl::Kind::WebView, id, at, ""); }

bool AddSurface(HWND form, int id, const FormRect& at) { return AddControl(form, FormControl::Kind::Surface, id, at, ""); }

bool AddTextBox(HWND form, int id, const FormRect& at, const std::string& text) {
    return AddControl(form, FormControl::Kind::TextBox, id, at, text);
}

bool AddCheckBox(HWND form, int id, const FormRect& at, const std::string& caption) {
    return AddControl(form, FormControl::Kind::CheckBox, id, at, caption);
}

bool AddDropDownList(HWND hwnd, int id, const FormRect& at, const std::vector<std::string>& entries) {
    FormModel* form = FindForm(hwnd);
    if (!form || form->Find(id)) return false;
    auto c = std::make_unique<FormControl>();
    c->kind = FormControl::Kind::DropDownList;
    c->id = id;
    c->at = at;
    c->entries = entries;
    c->value = -1;
    FormControl& ref = *c;
    form->controls.push_back(std::move(c));
    S().frontEnd->ControlAdded(*form, ref);
    return true;
}

bool AddTabs(HWND form, int id, const FormRect& at) { return AddControl(form, FormControl::Kind::Tabs, id, at, ""); }

bool AddTabPage(HWND hwnd, int tabsId, int pageId, const std::string& caption) {
    FormModel* form = FindForm(hwnd);
    if (!form || form->Find(pageId)) return false;
    FormControl* tabs = form->Find(tabsId);
    if (!tabs || tabs->kind != FormControl::Kind::Tabs) return false;
    auto c = std::make_unique<FormControl>();
    c->kind = FormControl::Kind::TabPage;
    c->id = pageId;
    c->parent = tabsId;
    c->at = {0, 0, tabs->at.width, tabs->at.height};
    c->text = caption;
    FormControl& ref = *c;
    form->controls.push_back(std::move(c));
    S().frontEnd->ControlAdded(*form, ref);
    return true;
}

bool MoveToPage(HWND hwnd, int id, int pageId) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind == FormControl::Kind::Tabs || c->kind == FormControl::Kind::TabPage) return false;
    FormControl* page = form->Find(pageId);
    if (!page || page->kind != FormControl::Kind::TabPage) return false;
    if (c->parent == pageId) return true;
    c->parent = pageId;
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Parent);
    return true;
}

bool SelectTab(HWND hwnd, int tabsId, int index) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, tabsId, &form);
    if (!c || c->kind != FormControl::Kind::Tabs) return false;
    if (index < 0 || index >= static_cast<int>(form->PagesOf(tabsId).size())) return false;
    if (c->value == index) return true;
    c->value = index;
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Value);
    return true;
}

bool SetControlName(HWND hwnd, int id, const std::string& name) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || name.empty()) return false;
    for (char ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') return false;
    c->name = name;
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Name);
    return true;
}

bool SetControlText(HWND hwnd, int id, const std::string& text) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || (c->kind != FormControl::Kind::Label && c->kind != FormControl::Kind::Button &&
               c->kind != FormControl::Kind::TextBox && c->kind != FormControl::Kind::CheckBox))
        return false;
    if (c->text == text) return true;
    c->text = text;
    if (c->kind == FormControl::Kind::TextBox) {
        // As an edit control does: the caret goes to the start, nothing selected.
        c->selStart = 0;
        c->selLength = 0;
    }
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Text);
    return true;
}

bool GetControlText(HWND hwnd, int id, std::string* text) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || !text || (c->kind != FormControl::Kind::Label && c->kind != FormControl::Kind::Button &&
                        c->kind != FormControl::Kind::TextBox && c->kind != FormControl::Kind::CheckBox))
        return false;
    *text = c->text;
    return true;
}

bool SelectText(HWND hwnd, int id, int start, int length) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::TextBox) return false;
    const int size = static_cast<int>(c->text.size());
    c->selStart = std::clamp(start, 0, size);
    c->selLength = std::clamp(length, 0, size - c->selStart);
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Selection);
    return true;
}

bool GetTextSelection(HWND hwnd, int id, int* start, int* length) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::TextBox || !start || !length) return false;
    *start = c->selStart;
    *length = c->selLength;
    return true;
}

bool SetCheck(HWND hwnd, int id, int value) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::CheckBox || (value != 0 && value != 1)) return false;
    if (c->value == value) return true;
    c->value = value;
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Value);
    return true;
}

int GetCheck(HWND hwnd, int id) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    return c && c->kind == FormControl::Kind::CheckBox ? c->value : 0;
}

bool SetListIndex(HWND hwnd, int id, int index) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::DropDownList) return false;
    if (index < 0 || index >= static_cast<int>(c->entries.size())) index = -1;
    if (c->value == index) return true;
    c->value = index;
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Value);
    return true;
}

int GetListIndex(HWND hwnd, int id) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    return c && c->kind == FormControl::Kind::DropDownList ? c->value : -1;
}

bool EnableControl(HWND hwnd, int id, bool enabled) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c) return false;
    if (c->enabled == enabled) return true;
    c->enabled = enabled;
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Enabled);
    return true;
}

bool Navigate(HWND hwnd, int id, const std::string& url) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::WebView) return false;
    c->text = url;
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Text);
    return true;
}

bool PaintSurface(HWND hwnd, int id, const SurfacePicture& picture) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::Surface) return false;
    c->picture = picture;
    S().frontEnd->ControlChanged(*form, *c, ControlChange::Picture);
    return true;
}

bool SetFormIcon(HWND hwnd, const std::string& picture) {
    FormModel* form = FindForm(hwnd);
    if (!form) return false;
    form->icon = picture;
    form->iconFile = PictureSource(picture);
    S().frontEnd->FormIconChanged(*form);
    return true;
}

std::string FormIcon(HWND hwnd) {
    FormModel* form = FindForm(hwnd);
    return form ? form->icon : std::string();
}

bool ShowForm(HWND hwnd, bool show) {
    FormModel* form = FindForm(hwnd);
    if (!form) return false;
    if (form->shown == show) return true;
    form->shown = show;
    S().frontEnd->FormShown(*form, show);
    if (show) {
        S().shownOrder.push_back(hwnd);
        Activate(*form);
    } else {
        Unshow(hwnd);
    }
    return true;
}

int MessageBoxA(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    auto& s = S();
    StartFrontEnd();
    if (s.ending) return InterruptAnswer(type);
    auto answer = std::make_shared<int>(0);
    s.boxes.push_back({answer, type});
    // The first answer counts: the user's, or the one the end of the run gave.
    s.frontEnd->OpenMessageBox(FindForm(owner), text, caption, type, [answer](int a) {
        if (*answer == 0) *answer = a;
    });
    bool answered = PumpUntil([answer] { return *answer != 0; });
    s.boxes.pop_back();
    s.frontEnd->CloseMessageBox();
    // The run is ending: the forms close after the handler that asked has gone on.
    if (s.ending && s.boxes.empty()) RunFromLoop(CloseForms);
    return answered ? *answer : DefaultAnswer(type);
}

}  // namespace plat
