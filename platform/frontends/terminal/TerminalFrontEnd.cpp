// The line-oriented front end: forms and message boxes as lines on standard
// output, answers as lines on standard input (a terminal or console, or a pipe,
// read through the loop by LineReader), and a drawn surface with fills as a
// progress bar on standard error (TextSurfacePainter). Every text is
// printed through VisibleText: what a server, a catalogue or a settings file put
// into a label, a message, a field or an address never reaches the terminal as a
// control sequence. Only message texts and labels keep their line breaks.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>

#include "platform/Console.h"
#include "platform/FrontEnd.h"
#include "platform/FrontEndSystem.h"
#include "platform/VisibleText.h"
#include "platform/Window.h"
#include "platform/frontends/terminal/LineReader.h"
#include "platform/frontends/terminal/TextSurfacePainter.h"

namespace plat {

namespace {

constexpr std::uint64_t kLabelEveryMs = 1000;  // a label changing faster is shown once a second
constexpr std::uint64_t kBarEveryTtyMs = 100;
constexpr std::uint64_t kBarEveryLineMs = 1000;
constexpr UINT kFlushTimer = 1;

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// ASCII case folding: only 'A'..'Z' are folded, whatever the locale.
std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::uint64_t NowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}


class TerminalFrontEnd final : public FrontEnd {
public:
    TerminalFrontEnd()
        : reader_([this] { Pump(); }), inTty_(StdinIsTerminal()), errTty_(StderrIsTerminal()) {
        timerWnd_ = CreateMessageWindow("terminal");
        self_ = this;
        SetWindowProc(timerWnd_, &TerminalFrontEnd::TimerProc);
    }

    FrontEndKind Kind() const override { return FrontEndKind::Terminal; }

    void FormCreated(FormModel& form) override {
        states_[form.hwnd];
        models_[form.hwnd] = &form;
    }

    void FormDestroyed(FormModel& form) override {
        if (form.shown) Leave(form);
        states_.erase(form.hwnd);
        models_.erase(form.hwnd);
        if (active_ == form.hwnd) active_ = 0;
        Pump();
    }

    void ControlAdded(FormModel& form, FormControl& c) override {
        if (form.shown) ControlChanged(form, c, c.kind == FormControl::Kind::Surface ? ControlChange::Picture
                                                                                      : ControlChange::Text);
    }

    void ControlChanged(FormModel& form, FormControl& c, ControlChange what) override {
        if (!form.shown) return;
        if (IsField(c) && (what == ControlChange::Text || what == ControlChange::Value)) {
            FieldChanged(form, c);
            return;
        }
        if (c.kind == FormControl::Kind::Label && what == ControlChange::Text && !InFieldPage(form, c))
            LabelChanged(form, c, false);
        if (c.kind == FormControl::Kind::Surface && what == ControlChange::Picture) BarChanged(form, c, false);
    }

    void FormShown(FormModel& form, bool shown) override {
        if (shown) {
            // On a terminal the status area is drawn a moment later, after the
            // lines the form brings with it.
            if (InArea(form)) states_[form.hwnd].barAt = NowMs();
            for (auto& c : form.controls) {
                if (c->kind == FormControl::Kind::Label && !InFieldPage(form, *c)) LabelChanged(form, *c, true);
                if (c->kind == FormControl::Kind::Surface) BarChanged(form, *c, false);
            }
            if (form.spec.input == LineInput::Fields) ListFields(form);
        } else {
            Leave(form);
            if (active_ == form.hwnd) active_ = 0;
            Pump();
        }
    }

    void FormActivated(FormModel& form) override {
        active_ = form.hwnd;
        auto& st = states_[form.hwnd];
        if (form.spec.input == LineInput::Choice && !st.newsShown) {
            st.newsShown = true;
            for (auto& c : form.controls)
                if (c->kind == FormControl::Kind::WebView)
                    Say("News: " + (c->text.empty() ? "(none)" : VisibleText(c->text)));
        }
        if (form.spec.input == LineInput::Fields && inTty_ && !st.hinted) {
            st.hinted = true;
            std::string words;
            for (auto& c : form.controls)
                if (c->kind == FormControl::Kind::Button)
                    words += std::string(words.empty() ? "" : ", ") + Lower(PlainCaption(c->text));
            Say("(type name=value and Enter to change a field" + (words.empty() ? "" : "; " + words) + ")");
        }
        if ((form.spec.input == LineInput::Commands || CancelByKey(form)) && inTty_ && !st.hinted) {
            st.hinted = true;
            std::string keys;
            for (auto& c : form.controls) {
                char m = c->kind == FormControl::Kind::Button && (form.spec.input == LineInput::Commands ||
                                                                  c->id == form.spec.cancelId)
                             ? MnemonicOf(c->text)
                             : 0;
                if (m) keys += std::string(keys.empty() ? "" : ", ") + m + " = " + PlainCaption(c->text);
            }
            if (!keys.empty()) Say("(type a letter and Enter: " + keys + ")");
        }
        Recheck();
    }

    void OpenMessageBox(FormModel*, const std::string& text, const std::string& caption, UINT type,
                        std::function<void(int)> answer) override {
        std::string body = FrontEndLines(text);
        std::string title = VisibleText(caption);
        bool yesNo = (type & PL_MB_TYPEMASK) == PL_MB_YESNO;
        Box box{type, std::move(answer), false};
        if (!yesNo) {
            Say(title + ": " + body);
            box.answered = true;
            box.answer(PL_IDOK);
            boxes_.push_back(std::move(box));
            return;
        }
        bool yesDefault = DefaultAnswer(type) == PL_IDYES;
        Prompt(title + ": " + body + (yesDefault ? " [Y/n] " : " [y/N] "));
        boxes_.push_back(std::move(box));
        Pump();
    }

    void CloseMessageBox() override {
        if (boxes_.empty()) return;
        boxes_.pop_back();
        // The handler that asked goes on first; then a form that is waiting for
        // an answer asks again.
        ScheduleRecheck();
        Pump();
    }

    void InterruptMessageBox() override {
        for (auto it = boxes_.rbegin(); it != boxes_.rend(); ++it) {
            if (it->answered) continue;
            Echo("");
            Answer(*it, InterruptAnswer(it->type));
            return;
        }
    }

private:
    struct Box {
        UINT type;
        std::function<void(int)> answer;
        bool answered;
    };
    struct FormState {
        bool newsShown = false;
        bool hinted = false;
        bool awaiting = false;  // a Choice form asked and waits for its line
        int ends = 0;           // ends of input a Choice form has taken
        std::map<int, std::string> said;  // label id -> text last shown
        std::map<int, std::uint64_t> saidAt;
        std::set<int> pendingLabels;
        std::map<int, std::string> fieldSaid;  // field id -> value last shown
        bool fieldsEnded = false;  // a Fields form took the end of input
        std::string bar;  // the progress bar last drawn
        std::string nextBar;
        std::uint64_t barAt = 0;
        std::map<int, std::string> status;  // terminal: label id -> text in the status area
        bool dirty = false;                 // terminal: the status area is to be drawn again
    };

    static LRESULT TimerProc(HWND, UINT msg, WPARAM, LPARAM) {
        if (msg == PL_WM_TIMER && self_) self_->Flush();
        return 0;
    }

    // ---- output --------------------------------------------------------

    // On a terminal, a form with a progress bar shows it and its labels in one
    // status area on standard error, redrawn in place: the labels on one line,
    // the bar on the next. Elsewhere labels are lines and the bar a line a second.
    // A bar is a drawn surface that fills or writes; a banner or a separator
    // line is none, and a form with only those says its labels once, as lines.
    bool InArea(const FormModel& form) const {
        if (!errTty_) return false;
        for (auto& c : form.controls)
            if (c->kind == FormControl::Kind::Surface && (!c->picture.fills.empty() || !c->picture.texts.empty()))
                return true;
        return false;
    }

    // A question or a prompt is waiting on the last line: the area stays away
    // from it until it is answered.
    bool AreaHeld() const {
        if (!boxes_.empty()) return true;
        for (auto& [h, st] : states_)
            if (st.awaiting) return true;
        return false;
    }

    // The line cut to the terminal's width, so that it never wraps (a wrapped
    // line could not be redrawn in place).
    static std::string Fit(const std::string& line, int columns) {
        int cells = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
            if (++cells >= columns) return line.substr(0, i);
        }
        return line;
    }

    void DrawArea(HWND hwnd, FormState& st, bool force) {
        if (!st.dirty) return;
        std::uint64_t now = NowMs();
        if (AreaHeld() || (!force && st.barAt != 0 && now - st.barAt < kBarEveryTtyMs)) {
            Arm();
            return;
        }
        if (areaLines_ != 0 && areaOwner_ != hwnd) EndArea();
        std::vector<std::string> lines;
        std::string labels;
        for (auto& [id, text] : st.status) labels += (labels.empty() ? "" : "  ") + text;
        if (!labels.empty()) lines.push_back(labels);
        if (!st.bar.empty()) lines.push_back(st.bar);
        while (static_cast<int>(lines.size()) < areaLines_) lines.insert(lines.begin(), "");
        if (lines.empty()) return;
        int columns = StderrColumns();
        std::string out = "\r";
        for (int i = 1; i < areaLines_; ++i) out += "\033[A";
        for (std::size_t i = 0; i < lines.size(); ++i)
            out += (i ? "\n" : "") + Fit(lines[i], columns) + "\033[K";
        std::fputs(out.c_str(), stderr);
        std::fflush(stderr);
        areaLines_ = static_cast<int>(lines.size());
        areaOwner_ = hwnd;
        st.dirty = false;
        st.barAt = now;
    }

    // Ends the status area where it stands: what follows starts on a line of its
    // own, and the area is drawn again below it.
    void EndArea() {
        if (areaLines_ == 0) return;
        std::fputc('\n', stderr);
        std::fflush(stderr);
        areaLines_ = 0;
        if (auto it = states_.find(areaOwner_); it != states_.end()) {
            it->second.dirty = true;
            Arm();
        }
        areaOwner_ = 0;
    }

    // A line, or lines: line breaks are the only control characters that pass.
    void Say(const std::string& line) {
        EndArea();
        std::fputs(VisibleText(line, LineBreaks::Kept).c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    void Prompt(const std::string& prompt) {
        EndArea();
        std::fputs(VisibleText(prompt, LineBreaks::Kept).c_str(), stdout);
        std::fflush(stdout);
    }

    // What was read, shown after the prompt when the input is not a terminal
    // (a terminal shows it as it is typed).
    void Echo(const std::string& line) {
        if (!inTty_) std::fputs(VisibleText(line).c_str(), stdout);
        if (!inTty_ || line.empty()) std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    void Arm() {
        if (!armed_) armed_ = SetTimer(timerWnd_, kFlushTimer, errTty_ ? kBarEveryTtyMs : 250);
    }

    void LabelChanged(FormModel& form, FormControl& c, bool force) {
        auto& st = states_[form.hwnd];
        std::string text = Trim(c.text);
        if (InArea(form)) {
            std::string shown = VisibleText(text);
            if (text.empty() ? st.status.erase(c.id) == 0 : st.status[c.id] == shown) return;
            if (!text.empty()) st.status[c.id] = shown;
            st.dirty = true;
            DrawArea(form.hwnd, st, force);
            return;
        }
        if (text.empty() || st.said[c.id] == text) {
            st.pendingLabels.erase(c.id);
            return;
        }
        std::uint64_t now = NowMs();
        if (!force && st.saidAt.count(c.id) && now - st.saidAt[c.id] < kLabelEveryMs) {
            st.pendingLabels.insert(c.id);
            Arm();
            return;
        }
        st.pendingLabels.erase(c.id);
        st.said[c.id] = text;
        st.saidAt[c.id] = now;
        Say(text);
    }

    void BarChanged(FormModel& form, FormControl& c, bool force) {
        const std::string bar = TextSurfacePainter().Paint(c.picture);
        if (bar.empty()) return;
        auto& st = states_[form.hwnd];
        if (InArea(form)) {
            if (st.bar == bar) return;
            st.bar = bar;
            st.dirty = true;
            DrawArea(form.hwnd, st, force);
            return;
        }
        st.nextBar = bar;
        DrawBar(st, force);
    }

    // Standard error is not a terminal: a line when the bar changed, once a second.
    void DrawBar(FormState& st, bool force) {
        if (st.nextBar.empty() || st.nextBar == st.bar) {
            st.nextBar.clear();
            return;
        }
        std::uint64_t now = NowMs();
        if (!force && st.barAt != 0 && now - st.barAt < kBarEveryLineMs) {
            Arm();
            return;
        }
        st.bar = st.nextBar;
        st.nextBar.clear();
        st.barAt = now;
        std::fputs((st.bar + "\n").c_str(), stderr);
        std::fflush(stderr);
    }

    // ---- fields ----------------------------------------------------------

    static bool IsField(const FormControl& c) {
        return !c.name.empty() && (c.kind == FormControl::Kind::TextBox || c.kind == FormControl::Kind::CheckBox ||
                                   c.kind == FormControl::Kind::DropDownList);
    }

    // A label on a tab page of a Fields form names a field: the listing says it.
    static bool InFieldPage(const FormModel& form, const FormControl& c) {
        return form.spec.input == LineInput::Fields && c.parent != 0;
    }

    // "page.name", or "name" for a field outside a named page.
    static std::string FieldName(const FormModel& form, const FormControl& c) {
        const FormControl* page = c.parent ? form.Find(c.parent) : nullptr;
        return page && !page->name.empty() ? page->name + "." + c.name : c.name;
    }

    static std::string FieldValue(const FormControl& c) {
        switch (c.kind) {
            case FormControl::Kind::CheckBox:
                return c.value ? "1" : "0";
            case FormControl::Kind::DropDownList:
                return c.value >= 0 && c.value < static_cast<int>(c.entries.size()) ? c.entries[c.value] : "";
            default:
                return c.text;
        }
    }

    void SayField(FormModel& form, FormControl& c) {
        std::string value = FieldValue(c);
        states_[form.hwnd].fieldSaid[c.id] = value;
        Say(VisibleText(FieldName(form, c)) + " = " + VisibleText(value));
    }

    // The fields outside pages, then each tab page's under its caption.
    void ListFields(FormModel& form) {
        for (auto& c : form.controls)
            if (IsField(*c) && c->parent == 0) SayField(form, *c);
        for (auto& tabs : form.controls) {
            if (tabs->kind != FormControl::Kind::Tabs) continue;
            for (FormControl* page : form.PagesOf(tabs->id)) {
                Say("[" + VisibleText(PlainCaption(page->text)) + "]");
                for (auto& c : form.controls)
                    if (IsField(*c) && c->parent == page->id) SayField(form, *c);
            }
        }
    }

    void FieldChanged(FormModel& form, FormControl& c) {
        if (form.spec.input != LineInput::Fields) return;
        auto& said = states_[form.hwnd].fieldSaid;
        auto it = said.find(c.id);
        if (it != said.end() && it->second == FieldValue(c)) return;
        SayField(form, c);
    }

    // The field a line "name=value" names (any case), or null.
    static FormControl* FindField(const FormModel& form, const std::string& name) {
        const std::string want = Lower(name);
        for (auto& c : form.controls)
            if (IsField(*c) && c->enabled && Lower(FieldName(form, *c)) == want) return c.get();
        return nullptr;
    }

    // Edits a field as the user would, and notifies the form. False when the
    // value does not fit the field.
    bool EditField(FormModel& form, FormControl& c, const std::string& value) {
        std::uint16_t code = PL_EN_CHANGE;
        switch (c.kind) {
            case FormControl::Kind::CheckBox: {
                std::string v = Lower(value);
                if (v == "1" || v == "yes" || v == "true" || v == "on") c.value = 1;
                else if (v == "0" || v == "no" || v == "false" || v == "off") c.value = 0;
                else return false;
                code = PL_BN_CLICKED;
                break;
            }
            case FormControl::Kind::DropDownList: {
                int index = -1;
                for (std::size_t i = 0; i < c.entries.size(); ++i)
                    if (Lower(c.entries[i]) == Lower(value)) index = static_cast<int>(i);
                if (index < 0 && !value.empty() && value.size() < 6 &&
                    value.find_first_not_of("0123456789") == std::string::npos)
                    index = std::stoi(value);
                if (index < 0 || index >= static_cast<int>(c.entries.size())) return false;
                c.value = index;
                code = PL_CBN_SELCHANGE;
                break;
            }
            default:
                c.text = value;
                c.selStart = static_cast<int>(value.size());
                c.selLength = 0;
                break;
        }
        states_[form.hwnd].fieldSaid[c.id] = FieldValue(c);
        PostMessageA(form.hwnd, PL_WM_COMMAND, static_cast<WPARAM>(MakeLong(static_cast<std::uint16_t>(c.id), code)),
                     0);
        return true;
    }

    // The enabled button whose caption (without '&', any case) or mnemonic
    // letter is the word; 0 when none. Sets `disabled` when the button is there
    // but cannot be pressed now.
    static int ButtonNamed(const FormModel& form, const std::string& word, bool& disabled) {
        disabled = false;
        for (auto& c : form.controls) {
            if (c->kind != FormControl::Kind::Button) continue;
            bool match = Lower(PlainCaption(c->text)) == word || (word.size() == 1 && MnemonicOf(c->text) == word[0]);
            if (!match) continue;
            if (c->enabled) return c->id;
            disabled = true;
        }
        return 0;
    }

    // One line for a Fields form. True when it edited a field or pressed a
    // button: the caller then waits until the form has handled that, so that the
    // next line finds the form as the edit left it (Apply enabled, say).
    bool FieldsLine(FormModel& form, const std::string& line) {
        std::string text = line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        std::size_t eq = text.find('=');
        if (eq != std::string::npos) {
            std::string name = Trim(text.substr(0, eq));
            std::string value = Trim(text.substr(eq + 1));
            FormControl* c = FindField(form, name);
            if (c && EditField(form, *c, value)) return true;
            Say(c ? "? " + FieldName(form, *c) + " does not take \"" + VisibleText(value) + "\""
                  : "? no field " + VisibleText(name));
            return false;
        }
        std::string word = Lower(Trim(text));
        if (word.empty()) return false;
        bool disabled = false;
        int id = ButtonNamed(form, word, disabled);
        if (id != 0) {
            Press(form, id);
            return true;
        }
        word = VisibleText(word);
        Say(disabled ? "? " + word + " is not available now" : "? " + word + ": neither name=value nor a button");
        return false;
    }

    // The form goes away: what is still to be shown is shown now.
    void Leave(FormModel& form) {
        auto& st = states_[form.hwnd];
        for (int id : std::set<int>(st.pendingLabels))
            if (FormControl* c = form.Find(id)) LabelChanged(form, *c, true);
        DrawBar(st, true);
        DrawArea(form.hwnd, st, true);
        if (areaOwner_ == form.hwnd) EndArea();
        st.dirty = false;
        st.awaiting = false;
    }

    void Flush() {
        bool more = false;
        for (auto& [hwnd, st] : states_) {
            for (int id : std::set<int>(st.pendingLabels)) {
                if (auto* form = Form(hwnd))
                    if (FormControl* c = form->Find(id)) LabelChanged(*form, *c, false);
            }
            DrawBar(st, false);
            DrawArea(hwnd, st, false);
            more = more || !st.pendingLabels.empty() || !st.nextBar.empty() || st.dirty;
        }
        if (!more) {
            KillTimer(timerWnd_, kFlushTimer);
            armed_ = false;
        }
    }

    // ---- input ---------------------------------------------------------

    FormModel* Form(HWND hwnd);

    void Answer(Box& box, int answer) {
        box.answered = true;
        box.answer(answer);
    }

    // A recheck after what is queued now; a later request replaces an earlier
    // one still waiting, so that a form asks once.
    void ScheduleRecheck() {
        pressPending_ = true;
        unsigned gen = ++recheckGen_;
        RunFromLoop([this, gen] {
            if (gen == recheckGen_) Recheck();
        });
    }

    // The form in front asks for its line when it waits for one and no box is open.
    void Recheck() {
        pressPending_ = false;
        FormModel* form = Form(active_);
        if (!form || !form->shown || form->spec.input != LineInput::Choice || !boxes_.empty()) {
            Pump();
            return;
        }
        auto& st = states_[form->hwnd];
        if (st.awaiting || st.ends >= 2) {
            Pump();
            return;
        }
        std::string choices;
        for (auto& c : form->controls) {
            char m = c->kind == FormControl::Kind::Button && c->enabled ? MnemonicOf(c->text) : 0;
            if (m) choices += std::string(choices.empty() ? "" : " / ") + PlainCaption(c->text) + " [" + m + "]";
        }
        Prompt(choices + ": ");
        st.awaiting = true;
        Pump();
    }

    // Hands what was read to whoever waits for it: the innermost box, else the
    // form in front; asks for more input while someone waits.
    void Pump() {
        for (;;) {
            // An inner box that is answered holds the input until its caller
            // has gone on (CloseMessageBox).
            Box* box = !boxes_.empty() && !boxes_.back().answered ? &boxes_.back() : nullptr;
            FormModel* form = boxes_.empty() && !pressPending_ ? Form(active_) : nullptr;
            FormState* st = form ? &states_[form->hwnd] : nullptr;
            bool choice = st && form->shown && form->spec.input == LineInput::Choice && st->awaiting;
            bool commands = st && form->shown && (form->spec.input == LineInput::Commands || CancelByKey(*form)) &&
                            !reader_.AtEnd();
            bool fields = st && form->shown && form->spec.input == LineInput::Fields && !st->fieldsEnded;
            if (!box && !choice && !commands && !fields) {
                reader_.Want(false);
                return;
            }
            if (!reader_.Available()) {
                reader_.Want(true);
                return;
            }
            // The check window takes its letter only: other lines typed ahead
            // are left for the window that asks for them.
            if (form && !box && form->spec.input == LineInput::NoInput &&
                reader_.HasLine() && ButtonFor(*form, Lower(Trim(*reader_.Peek()))) != form->spec.cancelId) {
                reader_.Want(false);
                return;
            }
            std::string line;
            bool got = reader_.Take(line);
            std::string word = Lower(Trim(line));
            if (box) {
                Echo(line);
                Answer(*box, got && (word == "y" || word == "yes") ? PL_IDYES : DefaultAnswer(box->type));
                continue;
            }
            if (choice) {
                Echo(line);
                st->awaiting = false;
                if (got) {
                    // An empty line chooses nothing: the form asks again. Any
                    // other line that names no choice presses the cancel button.
                    if (!word.empty()) Press(*form, ButtonFor(*form, word));
                } else if (++st->ends == 1) {
                    Press(*form, 0);
                } else if (st->ends == 2) {
                    PostMessageA(form->hwnd, PL_WM_CLOSE, 0, 0);
                }
                // Asks again if the form is still in front once the press is handled.
                ScheduleRecheck();
                reader_.Want(false);
                return;
            }
            if (fields) {
                if (!got) {
                    // The end of input: the cancel button, once.
                    st->fieldsEnded = true;
                    Press(*form, 0);
                } else if (!FieldsLine(*form, line)) {
                    continue;
                }
                ScheduleRecheck();
                reader_.Want(false);
                return;
            }
            int id = ButtonFor(*form, word);
            if (id != 0 && form->spec.input != LineInput::Commands && id != form->spec.cancelId) id = 0;
            if (id != 0) {
                // The next lines are for what the press brings (a question), or
                // for this form once the press is handled.
                Press(*form, id);
                ScheduleRecheck();
                reader_.Want(false);
                return;
            }
        }
    }

    // A form without input of its own (the check window) can still be cancelled
    // with its button's letter, but only from a terminal: lines from a pipe are
    // meant for the forms that take input.
    bool CancelByKey(const FormModel& form) const {
        return inTty_ && form.spec.input == LineInput::NoInput && form.spec.cancelId != 0 &&
               form.Find(form.spec.cancelId) != nullptr;
    }

    // The enabled button whose mnemonic is the one-letter answer, 0 when none.
    static int ButtonFor(const FormModel& form, const std::string& word) {
        if (word.size() != 1) return 0;
        for (auto& c : form.controls)
            if (c->kind == FormControl::Kind::Button && c->enabled && MnemonicOf(c->text) == word[0]) return c->id;
        return 0;
    }

    // Presses a button; 0 presses the cancel button (or closes the form).
    static void Press(const FormModel& form, int id) {
        if (id == 0) id = form.spec.cancelId;
        if (id != 0 && form.Find(id))
            PostMessageA(form.hwnd, PL_WM_COMMAND, static_cast<WPARAM>(id), 0);
        else
            PostMessageA(form.hwnd, PL_WM_CLOSE, 0, 0);
    }

    static TerminalFrontEnd* self_;
    LineReader reader_;
    bool inTty_;
    bool errTty_;
    HWND timerWnd_ = 0;
    bool armed_ = false;
    unsigned recheckGen_ = 0;
    bool pressPending_ = false;  // a press or an answer is on its way: the form waits
    HWND active_ = 0;
    std::vector<Box> boxes_;
    int areaLines_ = 0;  // lines of the status area on the terminal, 0 when ended
    HWND areaOwner_ = 0;
    std::map<HWND, FormState> states_;
    std::map<HWND, FormModel*> models_;
};

TerminalFrontEnd* TerminalFrontEnd::self_ = nullptr;

FormModel* TerminalFrontEnd::Form(HWND hwnd) {
    auto it = models_.find(hwnd);
    return it == models_.end() ? nullptr : it->second;
}

}  // namespace

std::unique_ptr<FrontEnd> MakeTerminalFrontEnd() { return std::make_unique<TerminalFrontEnd>(); }

}  // namespace plat
