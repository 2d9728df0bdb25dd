// The platform's side of FrontEndHost: the loop, posted messages and the
// system's colours of this process. Internal to platform/.
#pragma once

#include "platform/FrontEndHost.h"

namespace plat {

class PlatformFrontEndHost final : public FrontEndHost {
public:
    static PlatformFrontEndHost& Instance();

    void Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    int LoopFd() override;
    int LoopTimeoutMs() override;
    bool LoopRunReady() override;
    LoopHostIteration InstallLoopHost(LoopHostIteration iterate) override;
    DWORD SysColor(int index) override;
};

}  // namespace plat
