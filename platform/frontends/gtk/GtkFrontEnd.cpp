// The GTK 3 front end: a form is a fixed-size GtkWindow with its controls placed
// on a GtkFixed, the web view is WebKit, drawn surfaces are painted with cairo,
// and message boxes are GtkMessageDialogs. Every signal only posts a message to
// the form's procedure; nothing of the product runs inside a GTK signal.
//
// The web view is a news view and nothing more: it shows http: and https: pages
// (and the blank page), refuses every other address, whether the form names it
// or the page goes there, and refuses every download; new windows stay closed.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/VisibleText.h"
#include "platform/frontends/gtk/LoopSource.h"
#include "platform/frontends/gtk/CairoSurfacePainter.h"
#include "platform/frontends/gtk/GtkModule.h"

namespace plat::gtk {

namespace {

using plat::ControlChange;
using plat::FormControl;
using plat::FormModel;

int Px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

// "&Install >>" -> "_Install >>": GTK marks the mnemonic with '_'.
std::string GtkMnemonic(const std::string& caption) {
    std::string r;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        char c = caption[i];
        if (c == '&' && i + 1 < caption.size() && caption[i + 1] == '&') {
            r += '&';
            ++i;
        } else if (c == '&') {
            r += '_';
        } else if (c == '_') {
            r += "__";
        } else {
            r += c;
        }
    }
    return r;
}


// True for the addresses the news view shows: web pages, and the blank pages
// WebKit itself uses.
bool IsNewsAddress(const char* uri) {
    if (!uri) return false;
    if (g_strcmp0(uri, "about:blank") == 0 || g_strcmp0(uri, "about:srcdoc") == 0) return true;
    const char* scheme = g_uri_peek_scheme(uri);  // lower case
    return g_strcmp0(scheme, "http") == 0 || g_strcmp0(scheme, "https") == 0;
}

// One line on stderr about an address the news view refused.
void SayRefused(const char* what, const char* uri) { SayNewsRefused(what, uri ? uri : ""); }

// Asks for the named family; Pango falls back to a near one when it is absent.
void ApplyFont(GtkWidget* widget, const std::string& family, int points) {
    std::string css = "* { font-family: \"" + family + "\", sans-serif; font-size: " + std::to_string(points) + "pt; }";
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

class GtkFrontEnd final : public FrontEnd {
public:
    explicit GtkFrontEnd(FrontEndHost* host) : host_(host) {
        // Dialog buttons sized like the system's: the theme's padding would not
        // fit a caption into a button of dialog height.
        GtkCssProvider* provider = gtk_css_provider_new();
        gtk_css_provider_load_from_data(provider,
                                        "button.novalink { padding: 0 6px; min-height: 0; min-width: 0; }"
                                        // Fields sized like the system's too: a row of a
                                        // property page is some 22 pixels high.
                                        "entry.novalink { padding-top: 0; padding-bottom: 0; min-height: 0; }"
                                        "combobox.novalink button { padding-top: 0; padding-bottom: 0;"
                                        " min-height: 0; }"
                                        "checkbutton.novalink { padding: 0; min-height: 0; }",
                                        -1, nullptr);
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(provider);
        LoopSource::Install(host);
    }

    FrontEndKind Kind() const override { return FrontEndKind::Gtk; }

    void FormCreated(FormModel& form) override {
        auto* w = new Window{this, &form, nullptr, nullptr};
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window), form.spec.caption.c_str());
        gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
        // A dialog's hint as well: window managers then offer no maximize button.
        gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
        gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
        GtkWidget* fixed = gtk_fixed_new();
        gtk_widget_set_size_request(fixed, Px(form.spec.clientWidth), Px(form.spec.clientHeight));
        gtk_container_add(GTK_CONTAINER(window), fixed);
        ApplyFont(window, form.spec.fontName, form.spec.fontPoints);
        w->window = window;
        w->fixed = fixed;
        form.widget = w;
        g_signal_connect(window, "delete-event", G_CALLBACK(&GtkFrontEnd::OnDelete), w);
        g_signal_connect(window, "key-press-event", G_CALLBACK(&GtkFrontEnd::OnKey), w);
    }

    void FormDestroyed(FormModel& form) override {
        auto* w = static_cast<Window*>(form.widget);
        if (!w) return;
        form.widget = nullptr;
        for (auto& c : form.controls) c->widget = nullptr;
        ++updating_;
        gtk_widget_destroy(w->window);
        --updating_;
        delete w;
    }

    void ControlAdded(FormModel& form, FormControl& c) override {
        auto* w = static_cast<Window*>(form.widget);
        GtkWidget* widget = nullptr;
        switch (c.kind) {
            case FormControl::Kind::Label: {
                widget = gtk_label_new(c.text.c_str());
                gtk_label_set_xalign(GTK_LABEL(widget), 0);
                gtk_label_set_yalign(GTK_LABEL(widget), 0);
                gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
                if (!c.fontName.empty() || c.fontPoints > 0)
                    ApplyFont(widget, c.fontName.empty() ? form.spec.fontName : c.fontName,
                              c.fontPoints > 0 ? c.fontPoints : form.spec.fontPoints);
                break;
            }
            case FormControl::Kind::Button: {
                widget = gtk_button_new_with_mnemonic(GtkMnemonic(c.text).c_str());
                gtk_style_context_add_class(gtk_widget_get_style_context(widget), "novalink");
                gtk_widget_set_can_default(widget, TRUE);
                auto* target = new Press{this, form.hwnd, c.id};
                g_signal_connect_data(widget, "clicked", G_CALLBACK(&GtkFrontEnd::OnClicked), target,
                                      [](gpointer p, GClosure*) { delete static_cast<Press*>(p); },
                                      GConnectFlags(0));
                break;
            }
            case FormControl::Kind::Image:
                widget = g_file_test(c.text.c_str(), G_FILE_TEST_IS_REGULAR) ? gtk_image_new_from_file(c.text.c_str())
                                                                             : gtk_image_new();
                break;
            case FormControl::Kind::WebView:
                widget = webkit_web_view_new();
                // New windows stay closed: nothing answers "create", and the
                // policy refuses them before that.
                g_signal_connect(widget, "decide-policy", G_CALLBACK(&GtkFrontEnd::OnDecidePolicy), nullptr);
                g_signal_connect(widget, "load-failed-with-tls-errors", G_CALLBACK(&GtkFrontEnd::OnTlsErrors), nullptr);
                if (!downloadsRefused_) {
                    g_signal_connect(webkit_web_view_get_context(WEBKIT_WEB_VIEW(widget)), "download-started",
                                     G_CALLBACK(&GtkFrontEnd::OnDownloadStarted), nullptr);
                    downloadsRefused_ = true;
                }
                break;
            case FormControl::Kind::Surface: {
                widget = gtk_drawing_area_new();
                auto* target = new Paint{this, &form, &c};
                g_signal_connect_data(widget, "draw", G_CALLBACK(&GtkFrontEnd::OnDraw), target,
                                      [](gpointer p, GClosure*) { delete static_cast<Paint*>(p); },
                                      GConnectFlags(0));
                break;
            }
            case FormControl::Kind::TextBox:
                widget = gtk_entry_new();
                gtk_entry_set_text(GTK_ENTRY(widget), c.text.c_str());
                gtk_entry_set_activates_default(GTK_ENTRY(widget), TRUE);  // Enter presses the default button
                gtk_entry_set_width_chars(GTK_ENTRY(widget), 1);  // as narrow as its place
                Connect(widget, "changed", G_CALLBACK(&GtkFrontEnd::OnEntryChanged), form, c);
                Connect(widget, "focus-in-event", G_CALLBACK(&GtkFrontEnd::OnEntryFocus), form, c);
                break;
            case FormControl::Kind::CheckBox:
                widget = gtk_check_button_new_with_mnemonic(GtkMnemonic(c.text).c_str());
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), c.value != 0);
                Connect(widget, "toggled", G_CALLBACK(&GtkFrontEnd::OnToggled), form, c);
                break;
            case FormControl::Kind::DropDownList:
                widget = gtk_combo_box_text_new();
                for (const auto& e : c.entries) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(widget), e.c_str());
                gtk_combo_box_set_active(GTK_COMBO_BOX(widget), c.value);
                Connect(widget, "changed", G_CALLBACK(&GtkFrontEnd::OnListChanged), form, c);
                break;
            case FormControl::Kind::Tabs:
                widget = gtk_notebook_new();
                Connect(widget, "switch-page", G_CALLBACK(&GtkFrontEnd::OnSwitchPage), form, c);
                break;
            case FormControl::Kind::TabPage: {
                // A page is the area under the tabs; it lives in the notebook, not on the form.
                FormControl* tabs = form.Find(c.parent);
                widget = gtk_fixed_new();
                gtk_widget_show(widget);
                c.widget = widget;
                ++updating_;
                gtk_notebook_append_page(GTK_NOTEBOOK(tabs->widget), widget,
                                         gtk_label_new_with_mnemonic(GtkMnemonic(c.text).c_str()));
                --updating_;
                return;
            }
        }
        if (c.kind == FormControl::Kind::TextBox || c.kind == FormControl::Kind::CheckBox ||
            c.kind == FormControl::Kind::DropDownList)
            gtk_style_context_add_class(gtk_widget_get_style_context(widget), "novalink");
        gtk_widget_set_size_request(widget, std::max(1, Px(c.at.width)), std::max(1, Px(c.at.height)));
        gtk_fixed_put(GTK_FIXED(w->fixed), widget, Px(c.at.left), Px(c.at.top));
        c.widget = widget;
        if (c.kind == FormControl::Kind::Button && c.id == form.spec.defaultId) gtk_widget_grab_default(widget);
        if (form.shown) gtk_widget_show(widget);
    }

    void ControlChanged(FormModel& form, FormControl& c, ControlChange what) override {
        auto* widget = static_cast<GtkWidget*>(c.widget);
        if (!widget) return;
        if (what == ControlChange::Enabled) {
            gtk_widget_set_sensitive(widget, c.enabled);
            return;
        }
        if (what == ControlChange::Name) {
            gtk_widget_set_name(widget, c.name.c_str());
            return;
        }
        if (what == ControlChange::Parent) {
            FormControl* page = form.Find(c.parent);
            if (!page || !page->widget) return;
            g_object_ref(widget);
            gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(widget)), widget);
            gtk_fixed_put(GTK_FIXED(page->widget), widget, Px(c.at.left), Px(c.at.top));
            g_object_unref(widget);
            return;
        }
        // What the program sets is not reported back as the user's doing.
        ++updating_;
        Update(c, widget, what);
        --updating_;
    }

    void Update(FormControl& c, GtkWidget* widget, ControlChange what) {
        if (what == ControlChange::Selection) {
            if (c.kind != FormControl::Kind::TextBox) return;
            const int start = static_cast<int>(g_utf8_strlen(c.text.c_str(), c.selStart));
            const int end = static_cast<int>(g_utf8_strlen(c.text.c_str(), c.selStart + c.selLength));
            gtk_editable_select_region(GTK_EDITABLE(widget), start, end);
            return;
        }
        if (what == ControlChange::Value) {
            if (c.kind == FormControl::Kind::CheckBox)
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), c.value != 0);
            else if (c.kind == FormControl::Kind::DropDownList)
                gtk_combo_box_set_active(GTK_COMBO_BOX(widget), c.value);
            else if (c.kind == FormControl::Kind::Tabs)
                gtk_notebook_set_current_page(GTK_NOTEBOOK(widget), c.value);
            return;
        }
        switch (c.kind) {
            case FormControl::Kind::Label:
                gtk_label_set_text(GTK_LABEL(widget), c.text.c_str());
                break;
            case FormControl::Kind::Button:
                gtk_button_set_label(GTK_BUTTON(widget), GtkMnemonic(c.text).c_str());
                gtk_button_set_use_underline(GTK_BUTTON(widget), TRUE);
                break;
            case FormControl::Kind::WebView: {
                const char* uri = c.text.empty() ? "about:blank" : c.text.c_str();
                if (!IsNewsAddress(uri)) {
                    SayRefused("the news page", uri);
                    uri = "about:blank";
                }
                webkit_web_view_load_uri(WEBKIT_WEB_VIEW(widget), uri);
                break;
            }
            case FormControl::Kind::Surface:
                gtk_widget_queue_draw(widget);
                break;
            case FormControl::Kind::TextBox:
                gtk_entry_set_text(GTK_ENTRY(widget), c.text.c_str());
                break;
            case FormControl::Kind::CheckBox:
                gtk_button_set_label(GTK_BUTTON(widget), GtkMnemonic(c.text).c_str());
                gtk_button_set_use_underline(GTK_BUTTON(widget), TRUE);
                break;
            case FormControl::Kind::Image:
            case FormControl::Kind::DropDownList:
            case FormControl::Kind::Tabs:
            case FormControl::Kind::TabPage:
                break;
        }
    }

    void FormIconChanged(FormModel& form) override {
        auto* w = static_cast<Window*>(form.widget);
        if (!w) return;
        GdkPixbuf* icon =
            form.iconFile.empty() ? nullptr : gdk_pixbuf_new_from_file(form.iconFile.c_str(), nullptr);
        gtk_window_set_icon(GTK_WINDOW(w->window), icon);
        if (icon) g_object_unref(icon);
    }

    void FormShown(FormModel& form, bool shown) override {
        auto* w = static_cast<Window*>(form.widget);
        if (!shown) {
            gtk_widget_hide(w->window);
            return;
        }
        gtk_widget_show_all(w->window);
        if (FormControl* def = form.Find(form.spec.defaultId)) {
            if (def->widget) gtk_widget_grab_focus(static_cast<GtkWidget*>(def->widget));
        } else {
            // Showing gave the first control the focus; with no default button,
            // Enter must press nothing until the user picks a control.
            gtk_window_set_focus(GTK_WINDOW(w->window), nullptr);
        }
        gtk_window_present(GTK_WINDOW(w->window));
    }

    void OpenMessageBox(FormModel* owner, const std::string& text, const std::string& caption, UINT type,
                        std::function<void(int)> answer) override {
        GtkMessageType kind = GTK_MESSAGE_OTHER;
        const char* icon = nullptr;
        switch (type & PL_MB_ICONMASK) {
            case PL_MB_ICONHAND: kind = GTK_MESSAGE_ERROR, icon = "dialog-error"; break;
            case PL_MB_ICONQUESTION: kind = GTK_MESSAGE_QUESTION, icon = "dialog-question"; break;
            case PL_MB_ICONEXCLAMATION: kind = GTK_MESSAGE_WARNING, icon = "dialog-warning"; break;
            case PL_MB_ICONINFORMATION: kind = GTK_MESSAGE_INFO, icon = "dialog-information"; break;
            default: break;
        }
        GtkWindow* parent = nullptr;
        if (owner && owner->widget) parent = GTK_WINDOW(static_cast<Window*>(owner->widget)->window);
        GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, kind, GTK_BUTTONS_NONE, "%s",
                                                   FrontEndLines(text).c_str());
        gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
        // GTK 3 dialogs no longer show the icon of their kind; the box puts it
        // before the text, as the system's boxes do.
        if (icon) {
            GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
            GtkWidget* row = gtk_widget_get_parent(area);
            if (GTK_IS_BOX(row)) {
                GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
                gtk_widget_set_valign(image, GTK_ALIGN_START);
                gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
                gtk_box_reorder_child(GTK_BOX(row), image, 0);
            }
        }
        gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
        bool yesNo = (type & PL_MB_TYPEMASK) == PL_MB_YESNO;
        if (yesNo) {
            gtk_dialog_add_button(GTK_DIALOG(dialog), "_Yes", GTK_RESPONSE_YES);
            gtk_dialog_add_button(GTK_DIALOG(dialog), "_No", GTK_RESPONSE_NO);
            // As on the system, a Yes/No box has no close button: it needs an answer.
            gtk_window_set_deletable(GTK_WINDOW(dialog), FALSE);
        } else {
            gtk_dialog_add_button(GTK_DIALOG(dialog), "_OK", GTK_RESPONSE_OK);
        }
        int def = DefaultAnswer(type);
        int defResponse = def == PL_IDYES ? GTK_RESPONSE_YES : def == PL_IDNO ? GTK_RESPONSE_NO : GTK_RESPONSE_OK;
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), defResponse);
        auto box = std::make_unique<MessageBox>(MessageBox{dialog, type, std::move(answer), false});
        g_signal_connect(dialog, "response", G_CALLBACK(&GtkFrontEnd::OnResponse), box.get());
        // Escape and the frame answer through "response"; the box itself stays
        // until CloseMessageBox (by default GTK would destroy it under its caller).
        g_signal_connect(dialog, "delete-event", G_CALLBACK(gtk_true), nullptr);
        boxes_.push_back(std::move(box));
        gtk_widget_show_all(dialog);
        if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), defResponse))
            gtk_widget_grab_focus(button);
    }

    void CloseMessageBox() override {
        if (boxes_.empty()) return;
        std::unique_ptr<MessageBox> box = std::move(boxes_.back());
        boxes_.pop_back();
        g_signal_handlers_disconnect_by_data(box->dialog, box.get());
        gtk_widget_destroy(box->dialog);
    }

    void InterruptMessageBox() override {
        for (auto it = boxes_.rbegin(); it != boxes_.rend(); ++it) {
            if ((*it)->answered) continue;
            (*it)->answered = true;
            (*it)->answer(InterruptAnswer((*it)->type));
            return;
        }
    }

private:
    struct Window {
        GtkFrontEnd* owner;
        FormModel* form;
        GtkWidget* window;
        GtkWidget* fixed;
    };
    struct Press {
        GtkFrontEnd* owner;
        HWND form;
        int id;
    };
    struct Paint {
        GtkFrontEnd* owner;
        FormModel* form;
        FormControl* control;
    };
    struct MessageBox {
        GtkWidget* dialog;
        UINT type;
        std::function<void(int)> answer;
        bool answered;
    };

    // A field's signal: the front end, the form and the control it reports on.
    struct Field {
        GtkFrontEnd* owner;
        FormModel* form;
        FormControl* control;

        // The user changed the field: the form's procedure hears of it.
        void Notify(std::uint16_t code) const {
            owner->host_->Post(form->hwnd, PL_WM_COMMAND,
                               static_cast<WPARAM>(MakeLong(static_cast<std::uint16_t>(control->id), code)), 0);
        }
    };

    void Connect(GtkWidget* widget, const char* signal, GCallback callback, FormModel& form, FormControl& c) {
        g_signal_connect_data(widget, signal, callback, new Field{this, &form, &c},
                              [](gpointer p, GClosure*) { delete static_cast<Field*>(p); }, GConnectFlags(0));
    }

    static void OnEntryChanged(GtkEditable* entry, gpointer data) {
        auto* f = static_cast<Field*>(data);
        if (f->owner->updating_) return;
        f->control->text = gtk_entry_get_text(GTK_ENTRY(entry));
        f->control->selStart = static_cast<int>(f->control->text.size());
        f->control->selLength = 0;
        f->Notify(PL_EN_CHANGE);
    }

    static gboolean OnEntryFocus(GtkWidget*, GdkEvent*, gpointer data) {
        static_cast<Field*>(data)->Notify(PL_EN_SETFOCUS);
        return FALSE;
    }

    static void OnToggled(GtkToggleButton* button, gpointer data) {
        auto* f = static_cast<Field*>(data);
        if (f->owner->updating_) return;
        f->control->value = gtk_toggle_button_get_active(button) ? 1 : 0;
        f->Notify(PL_BN_CLICKED);
    }

    static void OnListChanged(GtkComboBox* list, gpointer data) {
        auto* f = static_cast<Field*>(data);
        if (f->owner->updating_) return;
        f->control->value = gtk_combo_box_get_active(list);
        f->Notify(PL_CBN_SELCHANGE);
    }

    // The user chose another tab: the model follows, nobody is told.
    static void OnSwitchPage(GtkNotebook*, GtkWidget*, guint index, gpointer data) {
        auto* f = static_cast<Field*>(data);
        if (f->owner->updating_) return;
        f->control->value = static_cast<int>(index);
    }

    static void OnClicked(GtkButton*, gpointer data) {
        auto* p = static_cast<Press*>(data);
        p->owner->host_->Post(p->form, PL_WM_COMMAND, static_cast<WPARAM>(p->id), 0);
    }

    // The frame's close button: the procedure decides.
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
        auto* w = static_cast<Window*>(data);
        w->owner->host_->Post(w->form->hwnd, PL_WM_CLOSE, 0, 0);
        return TRUE;
    }

    // Escape presses the cancel button, or closes by the frame where there is none.
    static gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer data) {
        if (event->keyval != GDK_KEY_Escape) return FALSE;
        auto* w = static_cast<Window*>(data);
        const FormModel& form = *w->form;
        FormControl* cancel = form.Find(form.spec.cancelId);
        if (cancel && cancel->enabled)
            w->owner->host_->Post(form.hwnd, PL_WM_COMMAND, static_cast<WPARAM>(cancel->id), 0);
        else if (!cancel)
            w->owner->host_->Post(form.hwnd, PL_WM_CLOSE, 0, 0);
        return TRUE;
    }

    static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
        auto* p = static_cast<Paint*>(data);
        CairoSurfacePainter painter(p->owner->host_, p->form->spec.fontName, p->form->spec.fontPoints);
        painter.Paint(cr, p->control->picture);
        return TRUE;
    }

    // What the news page itself does: it may go to another web page, but never to
    // another kind of address, open a window or have anything saved.
    // WebKit's own certificate checks stay in force: a news page that fails them
    // shows nothing (not even WebKit's error page), and stderr says why.
    static gboolean OnTlsErrors(WebKitWebView*, const char* uri, GTlsCertificate*, GTlsCertificateFlags errors,
                                gpointer) {
        std::fprintf(stderr, "novalink: the news page %s refused: its certificate failed the checks (flags 0x%x)\n",
                     VisibleText(uri ? uri : "").c_str(), static_cast<unsigned>(errors));
        return TRUE;
    }

    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer) {
        switch (type) {
            case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
                auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
                WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(navigation);
                const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
                if (IsNewsAddress(uri)) {
                    webkit_policy_decision_use(decision);
                } else {
                    SayRefused("a move of the news page", uri);
                    webkit_policy_decision_ignore(decision);
                }
                return TRUE;
            }
            case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
                webkit_policy_decision_ignore(decision);
                return TRUE;
            case WEBKIT_POLICY_DECISION_TYPE_RESPONSE: {
                // A reply the view cannot show, or one meant to be saved, would become a download.
                auto* reply = WEBKIT_RESPONSE_POLICY_DECISION(decision);
                WebKitURIResponse* response = webkit_response_policy_decision_get_response(reply);
                SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
                const char* disposition =
                    headers ? soup_message_headers_get_one(headers, "Content-Disposition") : nullptr;
                const bool attachment = disposition && g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
                if (attachment || !webkit_response_policy_decision_is_mime_type_supported(reply)) {
                    SayRefused("a download by the news page", webkit_uri_response_get_uri(response));
                    webkit_policy_decision_ignore(decision);
                } else {
                    webkit_policy_decision_use(decision);
                }
                return TRUE;
            }
            default:
                webkit_policy_decision_ignore(decision);
                return TRUE;
        }
    }

    // Whatever way a download still starts (a link with a "download" attribute,
    // say), it ends before anything is written.
    static void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
        SayRefused("a download by the news page", webkit_uri_request_get_uri(webkit_download_get_request(download)));
        webkit_download_cancel(download);
    }

    static void OnResponse(GtkDialog*, gint response, gpointer data) {
        auto* box = static_cast<MessageBox*>(data);
        if (box->answered) return;
        int answer = 0;
        switch (response) {
            case GTK_RESPONSE_YES: answer = PL_IDYES; break;
            case GTK_RESPONSE_NO: answer = PL_IDNO; break;
            case GTK_RESPONSE_OK: answer = PL_IDOK; break;
            default:  // closed by the frame or Escape: only an OK box closes so
                if ((box->type & PL_MB_TYPEMASK) != PL_MB_YESNO) answer = PL_IDOK;
                break;
        }
        if (answer == 0) return;
        box->answered = true;
        gtk_widget_hide(GTK_WIDGET(box->dialog));
        box->answer(answer);
    }

    FrontEndHost* host_;
    std::vector<std::unique_ptr<MessageBox>> boxes_;
    int updating_ = 0;  // the program is setting a widget: its signals are not the user's
    bool downloadsRefused_ = false;  // the web views' context refuses downloads
};

}  // namespace

}  // namespace plat::gtk

extern "C" __attribute__((visibility("default"))) plat::FrontEnd* NovalinkGtkFrontEnd(
    plat::FrontEndHost* host, std::string* error) {
    if (!gtk_init_check(nullptr, nullptr)) {
        *error = "GTK cannot open the display";
        return nullptr;
    }
    return new plat::gtk::GtkFrontEnd(host);
}
