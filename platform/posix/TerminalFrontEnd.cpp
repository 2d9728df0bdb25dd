// The line-oriented front end: forms and message boxes as lines on standard
// output, answers as lines on standard input (a terminal or a pipe), and a
// drawn surface with fills as a progress bar on standard error.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "platform/Window.h"
#include "platform/posix/EventLoop.h"
#include "platform/posix/FrontEnd.h"
#include "platform/posix/LineReader.h"

namespace plat::posix {

namespace {

constexpr int kBarWidth = 30;
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

std::string Lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// CR LF, and a CR alone, end a line.
std::string Lines(const std::string& text) {
    std::string r;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            r += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            r += text[i];
        }
    }
    return r;
}

class TerminalFrontEnd final : public FrontEnd {
public:
    TerminalFrontEnd()
        : reader_(0, [this] { Pump(); }), inTty_(isatty(0) == 1), errTty_(isatty(2) == 1) {
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
        if (c.kind == FormControl::Kind::Label && what == ControlChange::Text) LabelChanged(form, c, false);
        if (c.kind == FormControl::Kind::Surface && what == ControlChange::Picture) BarChanged(form, c, false);
    }

    void FormShown(FormModel& form, bool shown) override {
        if (shown) {
            for (auto& c : form.controls) {
                if (c->kind == FormControl::Kind::Label) LabelChanged(form, *c, true);
                if (c->kind == FormControl::Kind::Surface) BarChanged(form, *c, false);
            }
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
                if (c->kind == FormControl::Kind::WebView) Say("News: " + (c->text.empty() ? "(none)" : c->text));
        }
        if (form.spec.input == LineInput::Commands && inTty_ && !st.hinted) {
            st.hinted = true;
            std::string keys;
            for (auto& c : form.controls) {
                char m = c->kind == FormControl::Kind::Button ? MnemonicOf(c->text) : 0;
                if (m) keys += std::string(keys.empty() ? "" : ", ") + m + " = " + PlainCaption(c->text);
            }
            if (!keys.empty()) Say("(type a letter and Enter: " + keys + ")");
        }
        Recheck();
    }

    void OpenMessageBox(FormModel*, const std::string& text, const std::string& caption, UINT type,
                        std::function<void(int)> answer) override {
        std::string body = Lines(text);
        bool yesNo = (type & PL_MB_TYPEMASK) == PL_MB_YESNO;
        Box box{type, std::move(answer), false};
        if (!yesNo) {
            Say(caption + ": " + body);
            box.answered = true;
            box.answer(PL_IDOK);
            boxes_.push_back(std::move(box));
            return;
        }
        bool yesDefault = DefaultAnswer(type) == PL_IDYES;
        Prompt(caption + ": " + body + (yesDefault ? " [Y/n] " : " [y/N] "));
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
            Answer(*it, DefaultAnswer(it->type));
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
        std::string bar;  // the progress bar last drawn
        std::string nextBar;
        std::uint64_t barAt = 0;
        bool barOpen = false;  // drawn in place on the terminal, line not ended
    };

    static LRESULT TimerProc(HWND, UINT msg, WPARAM, LPARAM) {
        if (msg == PL_WM_TIMER && self_) self_->Flush();
        return 0;
    }

    // ---- output --------------------------------------------------------

    void ClearBar() {
        if (!errTty_) return;
        for (auto& [h, st] : states_)
            if (st.barOpen) {
                std::fputs("\r\033[K", stderr);
                std::fflush(stderr);
                st.barOpen = false;
                st.nextBar = st.bar;  // drawn again after the line
                Arm();
            }
    }

    void Say(const std::string& line) {
        ClearBar();
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    void Prompt(const std::string& prompt) {
        ClearBar();
        std::fputs(prompt.c_str(), stdout);
        std::fflush(stdout);
    }

    // What was read, shown after the prompt when the input is not a terminal
    // (a terminal shows it as it is typed).
    void Echo(const std::string& line) {
        if (!inTty_) std::fputs(line.c_str(), stdout);
        if (!inTty_ || line.empty()) std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    void Arm() {
        if (!armed_) armed_ = SetTimer(timerWnd_, kFlushTimer, errTty_ ? kBarEveryTtyMs : 250);
    }

    void LabelChanged(FormModel& form, FormControl& c, bool force) {
        auto& st = states_[form.hwnd];
        std::string text = Trim(c.text);
        if (text.empty() || st.said[c.id] == text) {
            st.pendingLabels.erase(c.id);
            return;
        }
        std::uint64_t now = EventLoop::NowMs();
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
        const SurfacePicture& p = c.picture;
        if (p.fills.empty() || p.width <= 0) return;
        int lo = p.width, hi = 0;
        for (const auto& f : p.fills) {
            lo = std::min(lo, std::max(0, std::min(f.x1, f.x2)));
            hi = std::max(hi, std::min(p.width, std::max(f.x1, f.x2)));
        }
        double share = hi > lo ? static_cast<double>(hi - lo) / p.width : 0.0;
        int cells = static_cast<int>(share * kBarWidth + 0.5);
        int percent = static_cast<int>(share * 100 + 0.5);
        std::string texts;
        for (const auto& t : p.texts) {
            std::string text = Trim(t.text);
            if (!text.empty()) texts += " " + text;
        }
        // The surface's own texts, or the share when it writes none.
        std::string bar = "[" + std::string(static_cast<std::size_t>(cells), '#') +
                          std::string(static_cast<std::size_t>(kBarWidth - cells), '.') + "]" +
                          (texts.empty() ? " " + std::to_string(percent) + "%" : texts);
        auto& st = states_[form.hwnd];
        st.nextBar = bar;
        DrawBar(st, force);
    }

    void DrawBar(FormState& st, bool force) {
        if (st.nextBar.empty() || (st.nextBar == st.bar && (st.barOpen || !errTty_))) {
            st.nextBar.clear();
            return;
        }
        std::uint64_t now = EventLoop::NowMs();
        std::uint64_t every = errTty_ ? kBarEveryTtyMs : kBarEveryLineMs;
        if (!force && st.barAt != 0 && now - st.barAt < every) {
            Arm();
            return;
        }
        st.bar = st.nextBar;
        st.nextBar.clear();
        st.barAt = now;
        if (errTty_) {
            std::fputs(("\r" + st.bar + "\033[K").c_str(), stderr);
            st.barOpen = true;
        } else {
            std::fputs((st.bar + "\n").c_str(), stderr);
        }
        std::fflush(stderr);
    }

    // The form goes away: what is still to be shown is shown now.
    void Leave(FormModel& form) {
        auto& st = states_[form.hwnd];
        for (int id : std::set<int>(st.pendingLabels))
            if (FormControl* c = form.Find(id)) LabelChanged(form, *c, true);
        DrawBar(st, true);
        if (st.barOpen) {
            std::fputc('\n', stderr);
            std::fflush(stderr);
            st.barOpen = false;
        }
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
            more = more || !st.pendingLabels.empty() || !st.nextBar.empty();
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
        EventLoop::Instance().Post([this, gen] {
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
            bool commands = st && form->shown && form->spec.input == LineInput::Commands && !reader_.AtEnd();
            if (!box && !choice && !commands) {
                reader_.Want(false);
                return;
            }
            if (!reader_.Available()) {
                reader_.Want(true);
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
                    Press(*form, ButtonFor(*form, word));
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
            int id = ButtonFor(*form, word);
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

}  // namespace plat::posix
