// A form like the offer window, for the front ends' tests: a banner label, a
// separator line, a web view, a progress surface at 40 %, "&Install >>" and
// "&Cancel". It prints what its procedure receives, one line each:
//   FRONTEND <terminal|gtk>   READY   ACTIVATE   COMMAND <id>   CLOSE   BOX <answer>
// "&Cancel" asks a Yes/No question (No the default); Yes, "&Install >>" and the
// frame unload the form, which ends the run.
//   forms_probe [--url <address>] [--image <png>] [--commands] [--label-burst]
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Forms.h"
#include "platform/Window.h"

using namespace plat;

namespace {

constexpr int kInstall = 1;
constexpr int kCancel = 2;
constexpr int kLabel = 10, kLine = 11, kWeb = 12, kBar = 13, kStatus = 14, kImage = 15;

void Say(const std::string& s) {
    std::printf("%s\n", s.c_str());
    std::fflush(stdout);
}

LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
        case PL_WM_ACTIVATE:
            Say("ACTIVATE");
            break;
        case PL_WM_COMMAND: {
            int id = LoWord(wParam);
            Say("COMMAND " + std::to_string(id));
            if (id == kCancel) {
                int a = MessageBoxA(hwnd, "Can you Cancel the Novalink?", "Novalink",
                                    PL_MB_YESNO | PL_MB_ICONQUESTION | PL_MB_DEFBUTTON2);
                Say("BOX " + std::to_string(a));
                if (a != PL_IDYES) break;
            }
            DestroyWindow(hwnd);
            break;
        }
        case PL_WM_CLOSE:
            Say("CLOSE");
            DestroyWindow(hwnd);
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string url, image = "/nonexistent/banner.png";
    bool commands = false, burst = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--url") && i + 1 < argc) url = argv[++i];
        if (!std::strcmp(argv[i], "--image") && i + 1 < argc) image = argv[++i];
        if (!std::strcmp(argv[i], "--commands")) commands = true;
        if (!std::strcmp(argv[i], "--label-burst")) burst = true;
    }
    FrontEndKind kind = StartFrontEnd();
    Say(std::string("FRONTEND ") + (kind == FrontEndKind::Gtk ? "gtk" : "terminal"));

    FormSpec spec;
    spec.caption = "Novalink Probe";
    spec.fontName = "Arial";
    spec.clientWidth = 7950;
    spec.clientHeight = 7950;
    spec.defaultId = kInstall;
    spec.cancelId = kCancel;
    spec.input = commands ? LineInput::Commands : LineInput::Choice;
    HWND form = CreateForm(spec, Proc);
    if (!form) return 3;
    AddLabel(form, kLabel, {120, 120, 7700, 450}, "Brightloom Novalink...", "Century Gothic", 14);
    AddImage(form, kImage, {6900, 90, 480, 480}, image);  // a missing file leaves the place empty
    AddSurface(form, kLine, {0, 690, 7950, 30});
    AddWebView(form, kWeb, {120, 840, 7710, 5700});
    AddSurface(form, kBar, {120, 6660, 7710, 330});
    AddLabel(form, kStatus, {120, 7080, 3000, 255}, "Initializing");
    AddButton(form, kInstall, {4380, 7350, 1650, 375}, "&Install >>");
    AddButton(form, kCancel, {6180, 7350, 1650, 375}, "&Cancel");
    // Extra calls that must be refused.
    if (AddButton(form, kCancel, {0, 0, 10, 10}, "dup") || AddLabel(0, 99, {}, "x") || SetControlText(form, 77, "x"))
        return 4;

    SurfacePicture line;
    line.width = 7950;
    line.height = 30;
    line.background = 0xF0F0F0;
    line.edges.push_back({0, 0, 7950, 30, 6, 2});  // an etched line along the top
    PaintSurface(form, kLine, line);

    SurfacePicture bar;
    bar.width = 7710;
    bar.height = 330;
    bar.background = 0xF0F0F0;
    bar.fills.push_back({0, 0, 3084, 330, 0xD77800});
    bar.texts.push_back({0, 0, 7710, 330, "40%", 0x000000, true});
    bar.border = true;
    bar.borderRgb = 0x808080;
    PaintSurface(form, kBar, bar);

    Navigate(form, kWeb, url);
    ShowForm(form, true);
    if (burst) {
        // A label that changes faster than anyone reads is shown throttled,
        // and its last text is shown when the form goes.
        for (int i = 1; i <= 500; ++i) SetControlText(form, kStatus, "Downloading " + std::to_string(i));
    } else {
        SetControlText(form, kStatus, "Downloading...");
    }
    Say("READY");
    int code = RunMessageLoop();
    Say("END");
    return code;
}
