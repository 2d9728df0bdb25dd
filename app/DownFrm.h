// The download window: prepares the staging folder, downloads the package into
// it (continuing a partial package of the same catalogue version and size), and
// hands over: copies the package onto the program file and starts it, or leaves
// it staged for "/U" when the program file is in use.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/Form.h"
#include "http/Url.h"

namespace nl {

class DownloadFile;

class DownFrm : public Form {
public:
    // How numbers are written: the decimal point, the thousands separator and
    // the sizes of the digit groups (as std::numpunct gives them).
    struct NumberStyle {
        std::string decimalPoint = ".";
        std::string thousandsSeparator = ",";
        std::string grouping = "\3";
    };

    // The one download window, created on first use.
    static DownFrm& Instance();

    // The size text of the labels: "512 bytes", "1.50KB (1,536 bytes)", ...
    static std::string FormatFileSize(std::int32_t size, const NumberStyle& style);
    // The same in the user's own style (English separators where there is none).
    static std::string FormatFileSize(std::int32_t size);
    static NumberStyle UserNumberStyle();

    ~DownFrm();

private:
    DownFrm();
    // The window's first activation starts the transfer.
    void Create() override;
    void Command(int id) override;
    void CloseRequested() override;
    plat::LRESULT Message(plat::UINT msg, plat::WPARAM w, plat::LPARAM l) override;
    void Unloading() override;
    void Unloaded() override;

    void Form_Activate();
    void Form_QueryUnload();
    void CButton_Click();
    // Prepares the staging folder and starts the transfer.
    void DownloadFile();
    void DownLoadBox_OnDataDownloaded(std::int32_t bytes);
    void DownLoadBox_OnError(std::int32_t number, const std::string& description);
    void DownLoadBox_OnFinish();
    // A package left staged whose flag "Update" could not be raised: the run
    // ends with the reason.
    void FlagNotStaged(const std::string& why);
    // The package is not what was announced: it goes, and the run ends; `why`
    // is the message's text, `reason` the line on stderr.
    void RejectPackage(const std::string& why, const std::string& reason);
    // Shows a message and ends the run with `code`, asking nothing.
    void EndWith(int code, const std::string& text);
    // After a 416 reply: true when the server's whole file is shorter than the
    // part held, which can then never be continued.
    bool PartLongerThanServerFile() const;
    // Deletes the part and fetches the package from its first byte.
    void StartOver();

    std::unique_ptr<nl::DownloadFile> DownLoadBox;
    std::string StagingFolder;
    std::string StateFile;
    std::string DownloadUrl;
    std::int32_t HttpPort = 80;
    std::string StagedVersion;
    std::string StagedSize;
    bool Stopping = false;
    bool ErrorShown = false;
    bool activated_ = false;
    bool unloadingSelf_ = false;
    bool asking_ = false;
    bool startedOver_ = false;  // the part was thrown away once in this run
    std::optional<Url> RedirectedTo;  // where a redirect leads, until the next transfer starts
    int redirects_ = 0;
};

}  // namespace nl
