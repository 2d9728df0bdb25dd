#include "http/prpServer.h"

#include <string>

#include "http/DownloadFile.h"
#include "support/TextToNumber.h"

namespace nl {

namespace {

// Twips within the page: labels at the left, fields after them, one row each.
constexpr int kLabelLeft = 240, kLabelWidth = 1000, kFieldLeft = 1320, kRow = 450, kTop = 240, kHeight = 330;

plat::FormRect LabelAt(int row) { return {kLabelLeft, kTop + row * kRow + 45, kLabelWidth, kHeight - 45}; }
plat::FormRect FieldAt(int row, int width) { return {kFieldLeft, kTop + row * kRow, width, kHeight}; }

}  // namespace

prpServer::prpServer() : PropertyPage("prpServer", "URL") {
    AddLabel(LabelAt(0), "Server:");
    AddField("txtServer", FieldKind::TextBox, FieldAt(0, 3900));
    AddLabel(LabelAt(1), "Port:");
    AddField("txtPort", FieldKind::TextBox, FieldAt(1, 1200));
    AddLabel(LabelAt(2), "URL:");
    AddField("txtURL", FieldKind::TextBox, FieldAt(2, 3900));
    AddLabel(LabelAt(3), "TimeOut:");
    AddField("txtTimeout", FieldKind::TextBox, FieldAt(3, 1200));
    AddLabel({kFieldLeft + 1320, kTop + 3 * kRow + 45, 600, kHeight - 45}, "Sec");
    AddLabel(LabelAt(4), "HTTP Ver:");
    AddField("cboHTTPVer", FieldKind::DropDownList, FieldAt(4, 1500), "", {"HTTP/1.0", "HTTP/1.1"});
}

void prpServer::SelectionChanged() {
    if (SelectedControls.empty() || !SelectedControls[0]) return;
    const DownloadFile& d = *SelectedControls[0];
    SetValue("cboHTTPVer", d.HTTPVersion());
    SetText("txtTimeout", std::to_string(d.TimeOut()));
    SetText("txtServer", d.Server());
    SetText("txtPort", std::to_string(d.Port()));
    SetText("txtURL", d.URL());
}

void prpServer::ApplyChanges() {
    if (SelectedControls.empty() || !SelectedControls[0]) return;
    DownloadFile& d = *SelectedControls[0];
    d.SetHTTPVersion(Value("cboHTTPVer"));
    d.SetTimeOut(TextToLong(Text("txtTimeout"), "prpServer.txtTimeout"));
    d.SetServer(Text("txtServer"));
    d.SetPort(TextToLong(Text("txtPort"), "prpServer.txtPort"));
    d.SetURL(Text("txtURL"));
}

}  // namespace nl
