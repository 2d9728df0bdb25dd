// What the three windows share: the window itself (loaded when it is first
// shown, unloaded once), the one procedure that hands each message to the form
// whose window it is, and the drawn control the form shows (the download box,
// the separator line), repainted on request.
#pragma once

#include <cstdint>

#include "controls/SurfaceView.h"
#include "platform/Forms.h"
#include "platform/Types.h"

namespace nl {

class DownloadFile;

class Form {
public:
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Loads the window when it is not, then shows it.
    void Show();
    // Loads the window when it is not, hidden.
    void Load();
    // Destroys the window with its controls; the last window to go leaves the
    // process without crash reports for its tear-down.
    void Unload();
    bool Loaded() const { return hwnd_ != 0; }
    plat::HWND Handle() const { return hwnd_; }

protected:
    Form();
    ~Form();

    // Creates the window, captioned with the program's title; its messages then
    // come to Command, CloseRequested and Message. `cancelId` is the button
    // Escape presses. False when it cannot be opened.
    bool Open(const char* fontName, int clientWidth, int clientHeight, int cancelId, plat::LineInput input);
    // Creates the window (Open) with its controls.
    virtual void Create() = 0;
    // A button pressed, by its id.
    virtual void Command(int id) = 0;
    // The window is closed by its frame.
    virtual void CloseRequested() = 0;
    // Any other message for the window; DefWindowProcA's unless a form answers it.
    virtual plat::LRESULT Message(plat::UINT msg, plat::WPARAM w, plat::LPARAM l);
    // Unload's steps: before the window goes (still loaded), and after.
    virtual void Unloading() {}
    virtual void Unloaded() {}

    // Shows the download box as the surface control `id` at (left, top); its
    // changes repaint it.
    void AttachDownloadBox(DownloadFile& box, int id, std::int32_t left, std::int32_t top);

    plat::HWND hwnd_ = 0;
    SurfaceView view_;

private:
    static plat::LRESULT Proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM w, plat::LPARAM l);
};

}  // namespace nl
