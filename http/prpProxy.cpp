#include "http/prpProxy.h"

#include <string>

#include "http/DownloadFile.h"
#include "support/TextToNumber.h"

namespace nl {

namespace {

constexpr int kLabelLeft = 240, kLabelWidth = 1000, kFieldLeft = 1320, kRow = 450, kTop = 240, kHeight = 330;

plat::FormRect LabelAt(int top) { return {kLabelLeft, top + 45, kLabelWidth, kHeight - 45}; }
plat::FormRect FieldAt(int top, int width) { return {kFieldLeft, top, width, kHeight}; }

}  // namespace

prpProxy::prpProxy() : PropertyPage("prpProxy", "Proxy Server") {
    AddLabel(LabelAt(kTop), "Proxy:");
    AddField("txtServer", FieldKind::TextBox, FieldAt(kTop, 3900));
    AddLabel(LabelAt(kTop + kRow), "Port:");
    AddField("txtPort", FieldKind::TextBox, FieldAt(kTop + kRow, 1200));
    AddField("chkNoCash", FieldKind::CheckBox, {kFieldLeft, kTop + 2 * kRow, 2000, kHeight}, "No cach");
    // The proxy's account, under its heading.
    const int account = kTop + 3 * kRow + 120;
    AddLabel({kLabelLeft, account, 5000, kHeight - 45}, "Proxy requires authorization for access:");
    AddLabel(LabelAt(account + kRow), "User Name:");
    AddField("txtUser", FieldKind::TextBox, FieldAt(account + kRow, 3900));
    AddLabel(LabelAt(account + 2 * kRow), "Password:");
    AddField("txtPassword", FieldKind::TextBox, FieldAt(account + 2 * kRow, 3900));
}

void prpProxy::SelectionChanged() {
    if (SelectedControls.empty() || !SelectedControls[0]) return;
    const DownloadFile& d = *SelectedControls[0];
    SetText("txtServer", d.ProxyServer());
    SetText("txtPort", std::to_string(d.ProxyPort()));
    SetText("txtUser", d.ProxyUserName());
    SetText("txtPassword", d.ProxyPassword());
    SetValue("chkNoCash", d.NoCache() ? 1 : 0);
}

void prpProxy::ApplyChanges() {
    if (SelectedControls.empty() || !SelectedControls[0]) return;
    DownloadFile& d = *SelectedControls[0];
    d.SetProxyServer(Text("txtServer"));
    d.SetProxyPort(TextToLong(Text("txtPort"), "prpProxy.txtPort"));
    d.SetProxyUserName(Text("txtUser"));
    d.SetProxyPassword(Text("txtPassword"));
    d.SetNoCache(Value("chkNoCash") == 1);
}

}  // namespace nl
