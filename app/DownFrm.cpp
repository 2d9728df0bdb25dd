#include "app/DownFrm.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <optional>

#include "app/Catalogue.h"
#include "app/HandOver.h"
#include "app/MainModule.h"
#include "app/StagedPackage.h"
#include "app/UpdateTransfer.h"
#include "app/UpdateTrust.h"
#include "controls/DrawingSurface.h"
#include "controls/LineX.h"
#include "http/DownloadFile.h"
#include "http/HttpHeader.h"
#include "http/Url.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Forms.h"
#include "platform/NumberFormat.h"
#include "platform/Window.h"
#include "support/AsciiText.h"
#include "support/ErrorReport.h"
#include "platform/VisibleText.h"
#include "support/modMain.h"

namespace nl {
namespace {

constexpr int kXLab = 1;
constexpr int kFileLlab = 2;
constexpr int kDownLoadBox = 3;
constexpr int kCButton = 4;
constexpr int kImage1 = 5;
constexpr int kLine1 = 6;
constexpr plat::UINT kRestartMessage = SurfaceView::kRepaintMessage + 1;
constexpr plat::UINT kRedirectMessage = SurfaceView::kRepaintMessage + 2;

constexpr const char* kQuestion = "Can you Cancel the Novalink?";

// The integer digits of a non-negative number with its thousands grouped.
std::string Grouped(unsigned long long n, const DownFrm::NumberStyle& style) {
    std::string digits = std::to_string(n);
    if (style.grouping.empty() || style.thousandsSeparator.empty()) return digits;
    std::string out;
    std::size_t group = 0;  // index into grouping; its last size repeats
    int size = static_cast<unsigned char>(style.grouping[0]);
    int inGroup = 0;
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (size > 0 && size < CHAR_MAX && inGroup == size) {
            out.insert(0, style.thousandsSeparator);
            inGroup = 0;
            if (group + 1 < style.grouping.size()) size = static_cast<unsigned char>(style.grouping[++group]);
        }
        out.insert(out.begin(), digits[i]);
        ++inGroup;
    }
    return out;
}

// "#,##0"
std::string WholeNumber(std::int32_t n, const DownFrm::NumberStyle& style) {
    const long long v = n;
    return (v < 0 ? "-" : "") + Grouped(static_cast<unsigned long long>(v < 0 ? -v : v), style);
}

// "0", "0.0", "0.00": rounded to that many decimals, halves away from zero.
std::string Fixed(double x, int decimals, const DownFrm::NumberStyle& style) {
    const double scale = decimals == 2 ? 100.0 : decimals == 1 ? 10.0 : 1.0;
    const double r = std::round(std::fabs(x) * scale);
    const auto units = static_cast<unsigned long long>(r);
    const auto scaleInt = static_cast<unsigned long long>(scale);
    std::string s = (x < 0 && r != 0 ? "-" : "") + std::to_string(units / scaleInt);
    if (decimals > 0) {
        std::string frac = std::to_string(units % scaleInt);
        frac.insert(frac.begin(), static_cast<std::size_t>(decimals) - frac.size(), '0');
        s += style.decimalPoint + frac;
    }
    return s;
}

}  // namespace

// ---- sizes -----------------------------------------------------------------------

std::string DownFrm::FormatFileSize(std::int32_t size, const NumberStyle& style) {
    if (size < 1024) return WholeNumber(size, style) + " bytes";
    const std::int32_t kb = size / 1024;
    const double s = static_cast<double>(size);
    std::string text;
    if (kb < 10)
        text = Fixed(s / 1024, 2, style) + "KB";
    else if (kb < 100)
        text = Fixed(s / 1024, 1, style) + "KB";
    else if (kb < 1000)
        text = Fixed(s / 1024, 0, style) + "KB";
    else if (kb < 10000)
        text = Fixed(s / 1048576, 2, style) + "MB";
    else if (kb < 100000)
        text = Fixed(s / 1048576, 1, style) + "MB";
    else if (kb < 1000000)
        text = Fixed(s / 1048576, 0, style) + "MB";
    else
        text = Fixed(s / 1048576 / 1024, 2, style) + "GB";
    return text + " (" + WholeNumber(size, style) + " bytes)";
}

std::string DownFrm::FormatFileSize(std::int32_t size) {
    static const NumberStyle style = UserNumberStyle();
    return FormatFileSize(size, style);
}

DownFrm::NumberStyle DownFrm::UserNumberStyle() {
    NumberStyle style;  // English settings
    // Where the user has no settings of their own (the plain C locales group no
    // digits), the English ones stand in.
    plat::NumberFormat user;
    if (!plat::UserNumberFormat(user)) return style;
    style.decimalPoint = user.decimalPoint;
    style.thousandsSeparator = user.thousandsSeparator;
    style.grouping = user.grouping;
    return style;
}

// ---- the window -------------------------------------------------------------------

DownFrm& DownFrm::Instance() {
    static DownFrm form;
    return form;
}

DownFrm::DownFrm() = default;
DownFrm::~DownFrm() = default;

plat::LRESULT DownFrm::Message(plat::UINT msg, plat::WPARAM w, plat::LPARAM l) {
    if (msg == plat::PL_WM_ACTIVATE) {
        if (w != 0) Form_Activate();
    } else if (msg == kRestartMessage) {
        StartOver();
    } else if (msg == kRedirectMessage) {
        if (hwnd_ == 0 || ErrorShown || !RedirectedTo || !DownLoadBox || DownLoadBox->IsBusy()) return 0;
        Stopping = false;
        DownloadFile();
    } else {
        return Form::Message(msg, w, l);
    }
    return 0;
}

void DownFrm::Command(int id) {
    if (id == kCButton) CButton_Click();
}

void DownFrm::CloseRequested() { Form_QueryUnload(); }

void DownFrm::Create() {
    if (!Open("Tahoma", 6015, 2265, kCButton, plat::LineInput::Commands)) return;
    DownLoadBox = std::make_unique<nl::DownloadFile>();
    DownLoadBox->Resize(5775, 300);
    // Saved with an empty agent: the package requests carry an empty "User-Agent: ".
    TryStep([&] { DownLoadBox->SetAgent(""); });
    plat::AddImage(hwnd_, kImage1, {120, 180, 480, 480}, "download");
    plat::AddLabel(hwnd_, kXLab, {840, 180, 5055, 255}, "Initializing");
    plat::AddLabel(hwnd_, kFileLlab, {840, 480, 5055, 255}, std::string(17, ' '));
    AttachDownloadBox(*DownLoadBox, kDownLoadBox, 120, 900);
    // Line1: an etched line between the bar and the button.
    plat::AddSurface(hwnd_, kLine1, {120, 1425, 5775, 30});
    plat::SurfacePicture line;
    line.width = 5775;
    line.height = 30;
    line.background = DrawingSurface::ResolveColor(0x8000000F);
    line.edges.push_back({0, 0, 5775, 30, LineX::kEdgeEtched, LineX::kTop});
    plat::PaintSurface(hwnd_, kLine1, line);
    plat::AddButton(hwnd_, kCButton, {4500, 1650, 1395, 375}, "&Cancel");
    DownLoadBox->OnFinish = [this] { DownLoadBox_OnFinish(); };
    DownLoadBox->OnError = [this](std::int32_t n, const std::string& d) { DownLoadBox_OnError(n, d); };
    DownLoadBox->OnDataDownloaded = [this](std::int32_t n) { DownLoadBox_OnDataDownloaded(n); };
    activated_ = false;
    Stopping = false;
    ErrorShown = false;
    unloadingSelf_ = false;
    DownLoadBox->Show();
    view_.Repaint();
}

void DownFrm::Form_Activate() {
    if (activated_) return;
    activated_ = true;
    StagingFolder = TempFolderPath(kStagingFolderName);
    StateFile = JoinPath(StagingFolder, kStagingStateName);
    DownloadFile();
}

void DownFrm::DownloadFile() {
    StagedFile = JoinPath(StagingFolder, kStagedPackageName);
    if (StagingFolder.empty()) {
        std::fprintf(stderr, "%s: no temporary folder for the package\n", kAppTitle);
        EndWith(kRunNoStagingFolder, "There is no temporary folder to download the update into.");
        return;
    }
    // A catalogue without DOWNLOAD is told apart when the transfer cannot start.
    std::string refusal;
    const std::optional<Url> address = Url::Parse(PackageUrl, &refusal);
    if (!address && !TrimSpaces(PackageUrl).empty()) {
        std::fprintf(stderr, "%s: the package address \"%s\" cannot be used: %s; nothing was fetched\n", kAppTitle,
                     plat::VisibleText(PackageUrl).c_str(), plat::VisibleText(refusal).c_str());
        DownLoadBox_OnError(0, "");
        return;
    }
    if (UpdateTransfer::SizeOf(PackageSize) == 0) {
        // Without a size the package could not be bounded: nothing is fetched.
        DownLoadBox_OnError(0, "");
        return;
    }
    if (FolderExists(StagingFolder)) {
        // A plain file of that name leaves no room for the folder, and a link
        // or a folder that others may write to is no place for a package.
        if (!plat::IsPrivateFolder(StagingFolder)) {
            std::fprintf(stderr, "%s: the staging folder %s is a link, not a folder, or not this user's alone\n",
                         kAppTitle, StagingFolder.c_str());
            EndWith(kRunNoStagingFolder, "The folder for the update cannot be created:\r\n\r\n" + StagingFolder);
            return;
        }
        StagedVersion = ReadIni(StateFile, "Info", "VER");
        StagedSize = ReadIni(StateFile, "Info", "Size");
        // A partial package is continued only for the same catalogue version (or
        // an older one) and the same size; otherwise the transfer starts from nothing.
        if (VersionTextGreater(LatestVersion, StagedVersion) || StagedSize != PackageSize) {
            KillFile(StagedFile);
            // Whatever was recorded complete went with it.
            WriteIni(StateFile, kStateSection, kCompleteKey, "");
            WriteIni(StateFile, kStateSection, kDigestKey, "");
        }
    } else {
        if (!plat::CreateDirectoryA(StagingFolder) || !plat::IsPrivateFolder(StagingFolder)) {
            std::fprintf(stderr, "%s: the staging folder %s cannot be created (error %u)\n", kAppTitle,
                         StagingFolder.c_str(), static_cast<unsigned>(plat::GetLastError()));
            EndWith(kRunNoStagingFolder, "The folder for the update cannot be created:\r\n\r\n" + StagingFolder);
            return;
        }
        WriteIni(StateFile, kStateSection, "VER", LatestVersion);
        WriteIni(StateFile, kStateSection, "Size", PackageSize);
    }

    // From here every failing step is skipped.
    nl::DownloadFile& box = *DownLoadBox;
    // A redirect's address, or the catalogue's; the account goes only where
    // the catalogue sent it.
    const std::optional<Url> target = RedirectedTo ? RedirectedTo : address;
    RedirectedTo.reset();
    DownloadUrl = target ? target->Text() : PackageUrl;
    const bool paid =
        Catalogue::IsPaid(SwitchCode) && target && address && UpdateTransfer::SameOrigin(*target, *address);
    UpdateTransfer::Configure(box, UpdateTransfer::Kind::Package, target ? &*target : nullptr, StagedFile, paid,
                              UpdateTransfer::SizeOf(PackageSize));
    if (target) HttpPort = target->Port();
    TryStep([&] { box.SetBackColor(0x8000000F); });
    TryStep([&] { box.SetForeColor(0x8000000E); });
    TryStep([&] { box.SetProgressColor(0x8000000D); });
    const bool started = TryStep([&] { box.StartDownload(); });
    // A transfer that could not even start (no address in the catalogue) would
    // leave the window waiting for ever.
    if (!started && !box.IsBusy()) DownLoadBox_OnError(0, "");
}

void DownFrm::DownLoadBox_OnDataDownloaded(std::int32_t) {
    if (Stopping || !DownLoadBox) return;
    // The whole counts, beyond 2 GiB too; the labels show what 32 bits hold.
    const std::int64_t done = DownLoadBox->DownloadedBytes();
    const std::int64_t whole = DownLoadBox->AnnouncedBytes();
    if (whole > 0 && done > whole) {
        // More than the server announced: such a package can never be right, and
        // an endless body must not fill the disk.
        RejectPackage("The downloaded update is larger than announced and has been deleted.",
                      "more than the " + std::to_string(whole) + " bytes announced; deleted");
        return;
    }
    plat::SetControlText(hwnd_, kXLab, "Downloading...");
    plat::SetControlText(hwnd_, kFileLlab,
                         FormatFileSize(DownLoadBox->DownloadedSize()) + " / " +
                             FormatFileSize(DownLoadBox->DownloadFileSize()));
    view_.RequestRepaint();
}

void DownFrm::DownLoadBox_OnError(std::int32_t number, const std::string& description) {
    if (Stopping) return;
    const DownloadFailure failure = DownLoadBox ? DownLoadBox->LastFailure() : DownloadFailure::None;
    std::string why;
    const std::optional<Url> from = Url::Parse(DownloadUrl);
    if (DownLoadBox && from) RedirectedTo = UpdateTransfer::Redirect(*DownLoadBox, *from, redirects_, why);
    if (RedirectedTo) {
        // Followed once the control has let go of this transfer.
        ++redirects_;
        Stopping = true;
        plat::PostMessageA(hwnd_, kRedirectMessage, 0, 0);
        return;
    }
    if (failure == DownloadFailure::NothingLeft && !startedOver_ && PartLongerThanServerFile()) {
        // The part is longer than the server's whole file: it can never be
        // continued. It goes, and the package is fetched from the start, once,
        // when the control has let go of the file.
        startedOver_ = true;
        Stopping = true;
        std::fprintf(stderr, "%s: the part %s is longer than the server's file; it is fetched again\n", kAppTitle,
                     StagedFile.c_str());
        plat::PostMessageA(hwnd_, kRestartMessage, 0, 0);
        return;
    }
    if (failure == DownloadFailure::TooLarge) {
        // More than the catalogue's size, announced or sent: the part goes, and
        // is never continued.
        RejectPackage("The downloaded update is larger than announced and has been deleted.",
                      TransferFailureReason(*DownLoadBox, number) + "; deleted");
        return;
    }
    ErrorShown = true;
    Stopping = true;
    RunExitCode = kRunConnectionError;
    if (failure == DownloadFailure::LocalFile) {
        // The package could not be written (a full disk, no permission): the
        // user sees the message all the same, the exit code and stderr say why.
        RunExitCode = kRunNoStagingFolder;
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kAppTitle, StagedFile.c_str(),
                     DownLoadBox->LocalFileProblem().c_str());
    } else if (TrimSpaces(PackageUrl).empty() || UpdateTransfer::SizeOf(PackageSize) == 0) {
        // The catalogue names no package for this edition, or no size to bound it by.
        const Catalogue::Edition* edition = Catalogue::EditionOf(SwitchCode);
        const std::string section = std::string("[") + (edition ? edition->key : "") + "]";
        ReportFailure("catalogue", Catalogue::UrlFor(UpdateServer(), SwitchCode),
                      !TrimSpaces(PackageUrl).empty() ? "no usable SIZE in " + section
                      : PackageSize.empty()           ? "no " + section + " section"
                                                      : "no DOWNLOAD in " + section);
    } else if (Url::Parse(PackageUrl)) {
        // (An address that cannot be used had its line before anything was fetched.)
        const std::string reason =
            !why.empty() ? why : DownLoadBox ? TransferFailureReason(*DownLoadBox, number, description) : "";
        ReportFailure("package", PackageUrl, reason.empty() ? "the transfer could not start" : reason);
    }
    ShowConnectionError(hwnd_);
    Unload();
}

bool DownFrm::PartLongerThanServerFile() const {
    // A 416 reply's "Content-Range: bytes */N" names the server's whole length N.
    const std::string range = GetHeaderValue(DownLoadBox->ReceiveHead(), "Content-Range");
    const std::string unit = "bytes */";
    if (ReplyStatusCode(DownLoadBox->ReceiveHead()) != 416 || range.size() <= unit.size() ||
        range.compare(0, unit.size(), unit) != 0 ||
        range.find_first_not_of("0123456789", unit.size()) != std::string::npos || range.size() - unit.size() > 18)
        return false;
    const std::int64_t total = std::stoll(range.substr(unit.size()));
    // By its listing: the control may still hold the part open.
    plat::FindData part;
    const plat::HANDLE h = plat::FindFirstFileA(StagedFile, part);
    if (h == plat::PL_INVALID_FIND_HANDLE) return false;
    plat::FindClose(h);
    return static_cast<std::uint64_t>(total) < part.size;
}

void DownFrm::StartOver() {
    if (hwnd_ == 0 || ErrorShown) return;
    KillFile(StagedFile);
    WriteIni(StateFile, kStateSection, kCompleteKey, "");
    WriteIni(StateFile, kStateSection, kDigestKey, "");
    Stopping = false;
    DownloadFile();
}

void DownFrm::RejectPackage(const std::string& why, const std::string& reason) {
    ReportFailure("package", PackageUrl, reason);
    Stopping = true;
    ErrorShown = true;
    if (DownLoadBox) TryStep([&] { DownLoadBox->CancelDownload(); });
    KillFile(StagedFile);
    WriteIni(StateFile, kStateSection, kCompleteKey, "");
    EndWith(kRunBadPackage, why + "\r\n\r\nPlease try again later.");
}

void DownFrm::EndWith(int code, const std::string& text) {
    Stopping = true;
    ErrorShown = true;
    RunExitCode = code;
    plat::MessageBoxA(hwnd_, text, kAppTitle, plat::PL_MB_OK | plat::PL_MB_ICONHAND);
    Unload();
}

void DownFrm::DownLoadBox_OnFinish() {
    if (Stopping || !DownLoadBox) return;
    // The end of a transfer cancelled earlier is no finished package.
    if (DownLoadBox->LastFailure() == DownloadFailure::Cancelled) return;
    plat::EnableControl(hwnd_, kCButton, false);

    // Only a package of exactly the catalogue's size (and digest, when it gives
    // one) is handed over, checked on the one open file that is then copied.
    StagedPackage package(StagedFile);
    HandOver::Expected expected;
    expected.length = UpdateTransfer::SizeOf(PackageSize);
    expected.digest = PackageDigest;
    // The package is whole: recorded so, for "/U" should it stay staged.
    expected.whole = [&] {
        WriteIni(StateFile, kStateSection, kCompleteKey, std::to_string(package.Length()));
        WriteIni(StateFile, kStateSection, kDigestKey, PackageDigest);
    };
    // With an update key, the accepted catalogue is staged with the package and
    // both are checked again before the program file is touched.
    const std::string key = UpdateTrust::KeyText();
    if (!key.empty())
        expected.verdict = [&](StagedPackage& p) {
            if (!UpdateTrust::Keep(StagingFolder, StateFile)) return "cannot keep the catalogue in " + StagingFolder;
            return UpdateTrust::CheckStaged(key, StagingFolder, StateFile, p);
        };
    std::string why;
    plat::DWORD copyError = 0;
    const HandOver::Outcome outcome = HandOver::Run(package, expected, TargetFile, StagingFolder, why, copyError);
    // A rejected package is let go of first: an open file cannot be deleted on Windows.
    package.Close();
    switch (outcome) {
        case HandOver::Outcome::BadLength:
            RejectPackage("The downloaded update does not have the size announced and has been deleted.",
                          "not the " + std::to_string(expected.length) + " bytes announced; deleted");
            return;
        case HandOver::Outcome::BadDigest:
            RejectPackage("The downloaded update is damaged (its SHA-256 digest does not match) and has been "
                          "deleted.",
                          "its SHA-256 digest does not match SHA256 in the catalogue; deleted");
            return;
        case HandOver::Outcome::Untrusted:
            std::fprintf(stderr, "%s: the package is not put in place: %s\n", kAppTitle,
                         plat::VisibleText(why).c_str());
            Stopping = true;
            ErrorShown = true;
            RunExitCode = kRunUntrusted;
            ShowRefusal(hwnd_, "The update is refused because the update key does not vouch for it: " + why + ".");
            Unload();
            return;
        case HandOver::Outcome::Staged:  // the program file is in use: the package stays staged for "/U"
            if (!why.empty()) {
                FlagNotStaged(why);
                return;
            }
            RunOutcome = LatestVersion + " staged for /U";
            break;
        case HandOver::Outcome::Copied:
            // What an earlier run left staged has been applied now: "/U" has nothing to do.
            if (UpdateFlagValue() == 1) {
                const std::string flag = WriteUpdateFlag(0);
                if (!flag.empty())
                    std::fprintf(stderr, "%s: the flag Update stays 1: %s\n", kAppTitle,
                                 plat::VisibleText(flag).c_str());
            }
            RunOutcome = (SwitchCode == "/T" ? "trial setup started: " : "updated to ") + LatestVersion;
            break;
    }
    RunExitCode = kRunDone;
    const plat::HWND hwnd = hwnd_;
    plat::ShowForm(hwnd, false);
    plat::MessageBoxA(0, "You must restart Brightloom to complete the Novalink.", kAppTitle,
                      plat::PL_MB_OK | plat::PL_MB_ICONINFORMATION);
    if (outcome == HandOver::Outcome::Copied) HandOver::Start(TargetFile);
    unloadingSelf_ = true;
    Unload();
}

void DownFrm::FlagNotStaged(const std::string& why) {
    // Without the flag the product never asks for "/U": the package would wait for ever.
    std::fprintf(stderr, "%s: the package stays staged in %s, but the flag Update cannot be set: %s\n", kAppTitle,
                 plat::VisibleText(StagingFolder).c_str(), plat::VisibleText(why).c_str());
    Stopping = true;
    ErrorShown = true;
    RunExitCode = kRunBadRegistry;
    plat::ShowForm(hwnd_, false);
    ShowRefusal(0, "The update could not be recorded for the next start of Brightloom because the registry "
                   "cannot be written: " + why + ".");
    Unload();
}

void DownFrm::CButton_Click() { Form_QueryUnload(); }

void DownFrm::Form_QueryUnload() {
    if (hwnd_ == 0 || asking_) return;
    Stopping = true;
    if (ErrorShown || unloadingSelf_) {
        Unload();
        return;
    }
    if (DownLoadBox) TryStep([&] { DownLoadBox->CancelDownload(); });
    asking_ = true;
    const int answer = plat::MessageBoxA(hwnd_, kQuestion, kAppTitle,
                                         plat::PL_MB_YESNO | plat::PL_MB_ICONQUESTION | plat::PL_MB_DEFBUTTON2);
    asking_ = false;
    if (hwnd_ == 0) return;
    if (answer != plat::PL_IDYES) {
        // The transfer goes on, from the partial package.
        Stopping = false;
        DownloadFile();
        return;
    }
    // The partial package and its state stay for a later run.
    RunExitCode = kRunCancelled;
    Unload();
}

void DownFrm::Unloading() {
    Stopping = true;
    if (DownLoadBox) TryStep([&] { DownLoadBox->CancelDownload(); });
}

void DownFrm::Unloaded() { DownLoadBox.reset(); }

}  // namespace nl
