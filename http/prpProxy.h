// The download control's "Proxy Server" property page: the proxy, its port, the
// no-cache switch and the proxy's account of the first selected control.
#pragma once

#include <vector>

#include "controls/PropertyPage.h"

namespace nl {

class DownloadFile;

class prpProxy final : public PropertyPage {
public:
    prpProxy();

    // The controls the host's selection holds; only the first is read and written.
    std::vector<DownloadFile*> SelectedControls;

    // txtServer, txtPort, txtUser and txtPassword from ProxyServer, ProxyPort,
    // ProxyUserName and ProxyPassword; chkNoCash from NoCache.
    void SelectionChanged() override;
    // ProxyServer, ProxyPort, ProxyUserName, ProxyPassword, then NoCache, through
    // the control's setters; the port as text converts (support/TextToNumber.h).
    void ApplyChanges() override;
};

}  // namespace nl
