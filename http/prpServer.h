// The download control's "URL" property page: the server, its port, the path,
// the idle time-out and the HTTP version of the first selected control.
#pragma once

#include <vector>

#include "controls/PropertyPage.h"

namespace nl {

class DownloadFile;

class prpServer final : public PropertyPage {
public:
    prpServer();

    // The controls the host's selection holds; only the first is read and written.
    std::vector<DownloadFile*> SelectedControls;

    // cboHTTPVer, txtTimeout, txtServer, txtPort and txtURL from HTTPVersion,
    // TimeOut, Server, Port and URL. An HTTPVersion other than 0 and 1 leaves the
    // list without a choice.
    void SelectionChanged() override;
    // HTTPVersion (the list's index, -1 when nothing is chosen), TimeOut, Server,
    // Port and URL, in that order, through the control's setters; the numbers as
    // texts convert them (support/TextToNumber.h).
    void ApplyChanges() override;
};

}  // namespace nl
