#include "app/CheckFrm.h"

#include <cstdio>
#include <optional>

#include "app/Catalogue.h"
#include "app/MainFrm.h"
#include "app/MainModule.h"
#include "app/ProductKey.h"
#include "app/UpdateTransfer.h"
#include "app/UpdateTrust.h"
#include "controls/SurfaceView.h"
#include "http/DownloadFile.h"
#include "http/Url.h"
#include "platform/Forms.h"
#include "platform/Window.h"
#include "support/AsciiText.h"
#include "support/CFileVersionInfo.h"
#include "support/ErrorReport.h"
#include "platform/VisibleText.h"

namespace nl {
namespace {

constexpr int kLabel1 = 1;
constexpr int kDownLoadBox = 2;
constexpr int kCButton = 3;
constexpr int kImage1 = 4;
constexpr plat::UINT kRedirectMessage = SurfaceView::kRepaintMessage + 1;

}  // namespace

CheckFrm& CheckFrm::Instance() {
    static CheckFrm form;
    return form;
}

CheckFrm::~CheckFrm() = default;

// ---- the pure parts ------------------------------------------------------------

std::string CheckFrm::DetectSwitch(const std::string& switchCode, const std::string& description) {
    if (switchCode != "/A") return switchCode;
    std::string found = switchCode;
    // Each word is tested on its own; the last hit wins.
    if (description.find("desktop") != std::string::npos) found = "/D";
    if (description.find("standard") != std::string::npos) found = "/S";
    if (description.find("professional") != std::string::npos) found = "/P";
    if (description.find("evaluation") != std::string::npos) found = "/E";
    return found == "/A" ? "/T" : found;
}

// ---- the window ------------------------------------------------------------------

void CheckFrm::Command(int id) {
    if (id == kCButton) CButton_Click();
}

// Closed by its frame: the same as its "&Cancel".
void CheckFrm::CloseRequested() { CButton_Click(); }

void CheckFrm::Create() {
    if (!Open("Arial", 4500, 1545, kCButton, plat::LineInput::NoInput)) {
        std::fprintf(stderr, "%s: the check window cannot be opened\n", kAppTitle);
        RunExitCode = kRunConnectionError;
        return;
    }
    plat::SetFormIcon(hwnd_, kAppPicture);
    DownLoadBox = std::make_unique<DownloadFile>();
    DownLoadBox->Resize(3660, 300);
    plat::AddImage(hwnd_, kImage1, {120, 120, 480, 480}, "check");
    plat::AddLabel(hwnd_, kLabel1, {720, 120, 3660, 255}, "Searching for Updates ...");
    AttachDownloadBox(*DownLoadBox, kDownLoadBox, 720, 480);
    plat::AddButton(hwnd_, kCButton, {3000, 1020, 1380, 375}, "&Cancel");
    DownLoadBox->OnFinish = [this] { DownLoadBox_OnFinish(); };
    DownLoadBox->OnError = [this](std::int32_t n, const std::string& d) { DownLoadBox_OnError(n, d); };
    DownLoadBox->OnDataDownloaded = [this](std::int32_t n) { DownLoadBox_OnDataDownloaded(n); };
    Stopping = false;
    DownLoadBox->Show();
    view_.Repaint();
    Form_Load();
}

void CheckFrm::Form_Load() {
    // The installed program file.
    try {
        TargetFile = ProductKey::ProgramPath().Value().ToText();
    } catch (const RaisedError&) {
        TargetFile.clear();  // an unreadable store: no installed product to be had
    }
    // A switch that names no edition detects it, as "/A" does.
    if (SwitchCode != "/A" && !Catalogue::EditionOf(SwitchCode)) SwitchCode = "/A";

    const std::string setupProgram = TempFolderPath(kSetupName);
    if (TargetFile.empty()) std::fprintf(stderr, "%s: no product registered; running as a trial\n", kAppTitle);
    if (TargetFile.empty() || !FileExists(TargetFile)) {
        TargetFile = setupProgram;
        SwitchCode = "/T";
    } else {
        CFileVersionInfo info;
        TryStep([&] { info.SetFullPathName(TargetFile); });
        if (info.Available()) {
            InstalledVersion = info.VerProduct();
            ProductDescription = AsciiLower(info.FileDescription());
            SwitchCode = DetectSwitch(SwitchCode, ProductDescription);
        } else {
            plat::MessageBoxA(0, "Error File!\r\n\r\n" + TargetFile, kAppTitle,
                              plat::PL_MB_OK | plat::PL_MB_ICONHAND);
            // Without write access to the machine's key the value stays; the run
            // goes on as a trial all the same.
            try {
                ProductKey::ProgramPath().DeleteValue();
            } catch (const RaisedError&) {
            }
            TargetFile = setupProgram;
            SwitchCode = "/T";
        }
    }

    // Without a temporary folder there is nowhere to put the catalogue.
    CatalogueFile = TempFolderPath(kCatalogueName);
    if (CatalogueFile.empty()) {
        std::fprintf(stderr, "%s: no temporary folder for the catalogue\n", kAppTitle);
        plat::MessageBoxA(0, "There is no temporary folder to download the update into.", kAppTitle,
                          plat::PL_MB_OK | plat::PL_MB_ICONHAND);
        RunExitCode = kRunNoStagingFolder;
        Unload();
        return;
    }

    CatalogueUrl = Catalogue::UrlFor(UpdateServer(), SwitchCode);
    FetchCatalogue();
}

plat::LRESULT CheckFrm::Message(plat::UINT msg, plat::WPARAM w, plat::LPARAM l) {
    if (msg != kRedirectMessage) return Form::Message(msg, w, l);
    if (Stopping || !RedirectedTo || !DownLoadBox || DownLoadBox->IsBusy()) return 0;
    CatalogueUrl = RedirectedTo->Text();
    RedirectedTo.reset();
    FetchCatalogue();
    return 0;
}

void CheckFrm::FetchCatalogue() {
    // From here every failing step is skipped.
    DownloadFile& box = *DownLoadBox;
    std::string refusal;
    const std::optional<Url> address = Url::Parse(CatalogueUrl, &refusal);
    // The account goes only where the update server is.
    const std::optional<Url> home = Url::Parse(Catalogue::UrlFor(UpdateServer(), SwitchCode));
    const bool paid =
        Catalogue::IsPaid(SwitchCode) && address && home && UpdateTransfer::SameOrigin(*address, *home);
    UpdateTransfer::Configure(box, UpdateTransfer::Kind::Catalogue, address ? &*address : nullptr, CatalogueFile, paid,
                              Catalogue::kMaxBytes);
    if (address) HttpPort = address->Port();
    if (!address) {
        std::fprintf(stderr, "%s: the update server \"%s\" cannot be used: %s; nothing was fetched\n", kAppTitle,
                     plat::VisibleText(CatalogueUrl).c_str(), plat::VisibleText(refusal).c_str());
        DownLoadBox_OnError(0, "");
    } else if (!TryStep([&] { box.StartDownload(); })) {
        // Nothing will come: the transfer never started.
        DownLoadBox_OnError(0, "");
    }
}

void CheckFrm::CButton_Click() {
    RunExitCode = kRunCancelled;
    Unload();
}

void CheckFrm::DownLoadBox_OnFinish() {
    if (Stopping || RedirectedTo) return;
    const Catalogue::Edition* edition = Catalogue::EditionOf(SwitchCode);
    const std::string key = edition ? edition->key : "";
    EditionName = edition ? edition->name : "";
    // The catalogue is read once; what is checked is what is used.
    Catalogue catalogue;
    std::string unreadable;
    if (!Catalogue::Load(CatalogueFile, catalogue, unreadable)) {
        ReportFailure("catalogue", CatalogueUrl, unreadable);
        RunExitCode = kRunConnectionError;
        Stopping = true;
        ShowConnectionError(hwnd_);
        Unload();
        return;
    }
    if (!TrustedCatalogue(catalogue, key)) return;

    LatestVersion = catalogue.Value(Catalogue::kInfo, Catalogue::kVersion);
    ReadmeUrl = catalogue.Value(Catalogue::kInfo, Catalogue::kReadme);
    PackageSize = catalogue.Value(key, Catalogue::kSize);
    PackageUrl = catalogue.Value(key, Catalogue::kDownload);
    PackageDigest = catalogue.Value(key, Catalogue::kDigest);

    if (LatestVersion.empty()) {
        ReportFailure("catalogue", CatalogueUrl, "no VER in [Info]");
        RunExitCode = kRunConnectionError;
        Stopping = true;
        ShowConnectionError(hwnd_);
    } else if (key == "TE") {
        TargetFile = TempFolderPath(kSetupName);
        MainFrm::Instance().Show();
    } else if (VersionTextGreater(LatestVersion, InstalledVersion)) {
        MainFrm::Instance().Show();
    } else {
        plat::ShowForm(hwnd_, false);
        RunExitCode = kRunDone;
        RunOutcome = "up to date: " + InstalledVersion;
        plat::MessageBoxA(0, "Brightloom " + EditionName + " are up to date!", kAppTitle,
                          plat::PL_MB_OK | plat::PL_MB_ICONINFORMATION);
    }
    Unload();
}

bool CheckFrm::TrustedCatalogue(const Catalogue& catalogue, const std::string& edition) {
    const std::string key = UpdateTrust::KeyText();
    if (key.empty()) return true;
    const std::string refusal = UpdateTrust::Accept(key, catalogue, edition);
    if (refusal.empty()) return true;
    std::fprintf(stderr, "%s: the catalogue is refused: %s\n", kAppTitle, plat::VisibleText(refusal).c_str());
    Stopping = true;
    RunExitCode = kRunUntrusted;
    ShowRefusal(hwnd_, "The update is refused because the update key does not vouch for it: " + refusal + ".");
    Unload();
    return false;
}

void CheckFrm::DownLoadBox_OnError(std::int32_t number, const std::string& description) {
    if (Stopping) return;
    std::string why;
    const std::optional<Url> from = Url::Parse(CatalogueUrl);
    if (DownLoadBox && from) RedirectedTo = UpdateTransfer::Redirect(*DownLoadBox, *from, Redirects, why);
    if (RedirectedTo) {
        // Followed once the control has let go of this transfer.
        ++Redirects;
        plat::PostMessageA(hwnd_, kRedirectMessage, 0, 0);
        return;
    }
    Stopping = true;
    RunExitCode = kRunConnectionError;
    if (DownLoadBox && DownLoadBox->LastFailure() == DownloadFailure::LocalFile) {
        // The catalogue could not be written (a full disk, no permission).
        RunExitCode = kRunNoStagingFolder;
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kAppTitle, CatalogueFile.c_str(),
                     DownLoadBox->LocalFileProblem().c_str());
    } else if (Url::Parse(CatalogueUrl)) {
        // (An address that cannot be used had its line before anything was fetched.)
        const std::string reason =
            !why.empty() ? why : DownLoadBox ? TransferFailureReason(*DownLoadBox, number, description) : "";
        ReportFailure("catalogue", CatalogueUrl, reason.empty() ? "the transfer could not start" : reason);
    }
    ShowConnectionError(hwnd_);
    Unload();
}

void CheckFrm::DownLoadBox_OnDataDownloaded(std::int32_t) { view_.RequestRepaint(); }

void CheckFrm::Unloading() {
    // No late event counts, and the transfer stops.
    Stopping = true;
    if (DownLoadBox) TryStep([&] { DownLoadBox->CancelDownload(); });
}

void CheckFrm::Unloaded() {
    // The control goes with the window; it may be raising the event that got us here.
    DownLoadBox.reset();
    // The local catalogue never outlives the window.
    KillFile(CatalogueFile);
}

}  // namespace nl
