// A property page: a small form on a tab of the host's property sheet
// (controls/PropertySheet.h) that copies some of the selected controls'
// properties into its fields when the selection changes, marks itself changed
// when the user edits a field, and writes the fields back when the host applies
// the changes.
//
// A page declares its labels and fields (text boxes, check boxes, drop-down
// lists) with their names and places; Create puts them on a tab page of a form.
// The field events arrive through HandleCommand: any edit, click or choice marks
// the page changed, and a text box that receives the focus has its whole text
// selected. Everything goes through platform/Forms.h, so a page runs on any front
// end, and in a test on a form that is never shown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Forms.h"

namespace nl {

class PropertyPage {
public:
    enum class FieldKind { TextBox, CheckBox, DropDownList };

    PropertyPage(std::string name, std::string caption);
    virtual ~PropertyPage() = default;
    PropertyPage(const PropertyPage&) = delete;
    PropertyPage& operator=(const PropertyPage&) = delete;

    // "prpServer": the terminal names the fields after it ("prpServer.txtPort").
    const std::string& Name() const { return name_; }
    // The caption of its tab.
    const std::string& Caption() const { return caption_; }

    // Puts the labels and fields on the tab page `pageId` of `form`, with the
    // control ids from `firstId` on. False when the form refuses one.
    bool Create(plat::HWND form, int pageId, int firstId);
    plat::HWND Form() const { return form_; }
    // A PL_WM_COMMAND of the form, split into id and notification. True when
    // the control is one of this page's.
    bool HandleCommand(int id, std::uint16_t code);

    // The changed mark: set by the user's edits, cleared by the host once it
    // applied the page. OnChangedMark tells the host (to enable its Apply).
    bool Changed() const { return changed_; }
    void SetChanged(bool changed);
    std::function<void()> OnChangedMark;

    // The host's operations. ApplyChanges raises the error report of the first
    // property that cannot be written; those written before it keep their values.
    virtual void SelectionChanged() = 0;
    virtual void ApplyChanges() = 0;

    // The control id of a field ("txtPort"); 0 before Create or for an unknown name.
    int FieldId(const std::string& field) const;

protected:
    // The layout, declared by the page's constructor: places in twips within the page.
    void AddLabel(const plat::FormRect& at, const std::string& text);
    // `caption`: a check box's; `entries`: a list's.
    void AddField(const std::string& name, FieldKind kind, const plat::FormRect& at, const std::string& caption = "",
                  const std::vector<std::string>& entries = {});

    // The fields' values: a text box's text, a check box's value (1 or 0), a
    // list's index (-1 when nothing is chosen).
    std::string Text(const std::string& field) const;
    void SetText(const std::string& field, const std::string& text);
    int Value(const std::string& field) const;
    void SetValue(const std::string& field, int value);

private:
    struct Item {
        bool isField = false;
        std::string name;  // a field's
        FieldKind kind = FieldKind::TextBox;
        plat::FormRect at;
        std::string text;  // a label's text, a check box's caption
        std::vector<std::string> entries;
        int id = 0;
    };
    const Item* FindField(const std::string& name) const;
    const Item* FindId(int id) const;

    std::string name_;
    std::string caption_;
    std::vector<Item> items_;
    plat::HWND form_ = 0;
    bool changed_ = false;
};

}  // namespace nl
