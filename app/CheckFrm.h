// The check window: finds the installed program file and its edition, fetches
// the update catalogue with its download control, and either says the product
// is up to date, offers the update (the offer window), or reports that the
// catalogue could not be had.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/Form.h"
#include "http/Url.h"

namespace nl {

class Catalogue;
class DownloadFile;

class CheckFrm : public Form {
public:
    // The one check window, created on first use.
    static CheckFrm& Instance();

    // The switch after detection: an explicit edition switch stays; "/A" becomes
    // the edition whose word the (lower-cased) description contains, the last
    // hit winning, or "/T" when none does.
    static std::string DetectSwitch(const std::string& switchCode, const std::string& description);

    ~CheckFrm();

private:
    CheckFrm() = default;
    // Loading starts the check. Unloading stops the transfer and removes the
    // local catalogue.
    void Create() override;
    void Command(int id) override;
    void CloseRequested() override;
    void Unloading() override;
    void Unloaded() override;

    void Form_Load();
    // Points the control at CatalogueUrl and starts it.
    void FetchCatalogue();
    plat::LRESULT Message(plat::UINT msg, plat::WPARAM w, plat::LPARAM l) override;
    void CButton_Click();
    void DownLoadBox_OnFinish();
    // With an update key, only a catalogue that it signed, not older than the
    // last, is used; otherwise the run ends here. True when it may go on.
    bool TrustedCatalogue(const Catalogue& catalogue, const std::string& edition);
    void DownLoadBox_OnError(std::int32_t number, const std::string& description);
    void DownLoadBox_OnDataDownloaded(std::int32_t bytes);

    std::unique_ptr<DownloadFile> DownLoadBox;
    std::string CatalogueUrl;
    std::optional<Url> RedirectedTo;  // where a redirect leads, until the next transfer starts
    int Redirects = 0;
    std::int32_t HttpPort = 80;
    std::string CatalogueFile;
    std::string InstalledVersion;
    std::string ProductDescription;
    bool Stopping = false;
};

}  // namespace nl
