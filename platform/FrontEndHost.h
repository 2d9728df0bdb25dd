// What the platform offers a front end (platform/FrontEnd.h): a front end that
// lives in a module of its own (GTK) reaches the platform only through this.
// Internal to platform/.
#pragma once

#include "platform/LoopHost.h"
#include "platform/Types.h"

namespace plat {

class FrontEndHost {
public:
    // PostMessageA.
    virtual void Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    // platform/LoopHost.h.
    virtual int LoopFd() = 0;
    virtual int LoopTimeoutMs() = 0;
    virtual bool LoopRunReady() = 0;
    virtual LoopHostIteration InstallLoopHost(LoopHostIteration iterate) = 0;
    // platform/SysColor.h.
    virtual DWORD SysColor(int index) = 0;

protected:
    ~FrontEndHost() = default;
};

}  // namespace plat
