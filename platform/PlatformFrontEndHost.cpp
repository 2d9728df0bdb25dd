#include "platform/PlatformFrontEndHost.h"

#include "platform/LoopHost.h"
#include "platform/SysColor.h"
#include "platform/Window.h"

namespace plat {

PlatformFrontEndHost& PlatformFrontEndHost::Instance() {
    static PlatformFrontEndHost host;
    return host;
}

void PlatformFrontEndHost::Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    PostMessageA(hwnd, msg, wParam, lParam);
}

int PlatformFrontEndHost::LoopFd() { return LoopBackendFd(); }

int PlatformFrontEndHost::LoopTimeoutMs() { return plat::LoopTimeoutMs(); }

bool PlatformFrontEndHost::LoopRunReady() { return plat::LoopRunReady(); }

LoopHostIteration PlatformFrontEndHost::InstallLoopHost(LoopHostIteration iterate) {
    return plat::InstallLoopHost(std::move(iterate));
}

DWORD PlatformFrontEndHost::SysColor(int index) { return GetSysColor(index); }

}  // namespace plat
