#include "app/MainFrm.h"

#include "app/DownFrm.h"
#include "app/MainModule.h"
#include "controls/LineX.h"
#include "platform/Forms.h"
#include "platform/Window.h"

namespace nl {
namespace {

constexpr int kLabel1 = 1;
constexpr int kLX = 2;
constexpr int kWeb = 3;
constexpr int kTopBox = 4;
constexpr int kCimg = 5;
// The two buttons form one array: CButton(0) and CButton(1).
constexpr int kCButtonBase = 10;
constexpr int kInstall = 0;
constexpr int kCancel = 1;

}  // namespace

MainFrm& MainFrm::Instance() {
    static MainFrm form;
    return form;
}

MainFrm::MainFrm() = default;
MainFrm::~MainFrm() = default;

void MainFrm::Command(int id) {
    if (id >= kCButtonBase) CButton_Click(id - kCButtonBase);
}

// Closed by its frame: unloaded without a question.
void MainFrm::CloseRequested() {
    RunExitCode = kRunCancelled;
    Unload();
}

void MainFrm::Create() {
    // No default button: a stray Enter must not start a download.
    if (!Open("Arial", 7950, 7950, kCButtonBase + kCancel, plat::LineInput::Choice)) return;
    plat::SetFormIcon(hwnd_, kAppPicture);
    // The banner (TopBox: white, with its label and picture); the separator;
    // the news page; the buttons.
    plat::AddSurface(hwnd_, kTopBox, {0, 0, 7950, 720});
    plat::SurfacePicture banner;
    banner.width = 7950;
    banner.height = 720;
    banner.background = 0xFFFFFF;
    plat::PaintSurface(hwnd_, kTopBox, banner);
    plat::AddLabel(hwnd_, kLabel1, {120, 150, 6500, 450}, "Brightloom Novalink...", "Century Gothic", 14);
    plat::AddImage(hwnd_, kCimg, {7110, 0, 720, 720}, kAppPicture);
    LX = std::make_unique<LineX>();
    LX->Resize(7950, 30);
    view_.Attach(hwnd_, kLX, 0, 720, LX->Surface());
    view_.Repaint();
    plat::AddWebView(hwnd_, kWeb, {120, 870, 7710, 6300});
    plat::AddButton(hwnd_, kCButtonBase + kInstall, {4380, 7380, 1650, 375}, "&Install >>");
    plat::AddButton(hwnd_, kCButtonBase + kCancel, {6180, 7380, 1650, 375}, "&Cancel");
    Form_Load();
}

void MainFrm::Form_Load() {
    // Whatever the page does is the browser's business.
    plat::Navigate(hwnd_, kWeb, ReadmeUrl);
}

void MainFrm::CButton_Click(int index) {
    if (index == kInstall) {
        // The download window gets this one's icon, and is shown before this one goes.
        DownFrm& down = DownFrm::Instance();
        down.Load();
        plat::SetFormIcon(down.Handle(), plat::FormIcon(hwnd_));
        down.Show();
        Unload();
        return;
    }
    if (index == kCancel) {
        const int answer = plat::MessageBoxA(hwnd_, "Can you Cancel the Novalink?", kAppTitle,
                                             plat::PL_MB_YESNO | plat::PL_MB_ICONQUESTION | plat::PL_MB_DEFBUTTON2);
        if (answer != plat::PL_IDYES) return;
        RunExitCode = kRunCancelled;
    }
    Unload();
}

void MainFrm::Unloaded() { LX.reset(); }

}  // namespace nl
