#include "net/MSocketSupport.h"

#include <cstddef>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <new>

#include "net/CSocket.h"
#include "net/NetErrors.h"
#include "platform/App.h"
#include "platform/Window.h"
#include "platform/Winsock.h"
#include "support/ErrorReport.h"
#include "support/SupportErrors.h"

namespace nl::MSocketSupport {
namespace {

constexpr long kSelectedEvents = plat::WS_FD_READ | plat::WS_FD_WRITE | plat::WS_FD_ACCEPT | plat::WS_FD_CONNECT |
                                 plat::WS_FD_CLOSE;  // 59; out-of-band data is not selected
constexpr int kLookupBlockSize = plat::WS_MAXGETHOSTSTRUCT;

// A pending look-up: the object waiting for it (null once detached) and the block
// the platform fills. The block is freed only when the completion is handled.
struct Lookup {
    CSocket* object = nullptr;
    std::unique_ptr<std::max_align_t[]> block;
};

struct ServiceState {
    plat::HWND window = 0;
    plat::WindowProc previousProc = nullptr;
    plat::UINT winsockMessage = 0;
    plat::UINT resolveMessage = 0;
    bool started = false;
    // Socket objects alive: each counts from InitWinsockService to FinalizeWinsockService.
    std::size_t users = 0;
    std::int32_t maxDatagramSize = 0;
    std::map<std::int32_t, CSocket*> sockets;
    std::map<std::uintptr_t, Lookup> lookups;
};

ServiceState& S() {
    static ServiceState state;
    return state;
}

struct ErrorText {
    std::int32_t code;
    const char* text;
};

// The wording of every Windows Sockets error the layer reports.
constexpr ErrorText kErrorTexts[] = {
        {plat::WS_EINTR, " 阻塞调用被取消了."},  // 10004
        {plat::WS_EACCES, "Permission denied."},  // 10013
        {plat::WS_EFAULT, "地址不正确"},  // 10014
        {plat::WS_EINVAL, "指出指定的参数之一是非法的."},  // 10022
        {plat::WS_EMFILE, "没有可用的文件描述符."},  // 10024
        {plat::WS_EWOULDBLOCK, "本异步操作此时由于Windows Sockets实现的资源或其它限制的制约而无法调度."},  // 10035
        {plat::WS_EINPROGRESS, "一个阻塞的套接口调用正在运行中。"},  // 10036
        {plat::WS_EALREADY, "Operation already in progress."},  // 10037
        {plat::WS_ENOTSOCK, "描述字不是一个套接口。"},  // 10038
        {plat::WS_EDESTADDRREQ, "Destination address required."},  // 10039
        {plat::WS_EMSGSIZE, "消息太大无法全部装入指定的缓冲区"},  // 10040
        {plat::WS_EPROTOTYPE, "指定的协议对于本套接口类型错误。"},  // 10041
        {plat::WS_ENOPROTOOPT, "未知或不支持选项。"},  // 10042
        {plat::WS_EPROTONOSUPPORT, "协议不支持"},  // 10043
        {plat::WS_ESOCKTNOSUPPORT, "本地址族不支持指定的套接口类型。"},  // 10044
        {plat::WS_EOPNOTSUPP, "选项不支持。"},  // 10045
        {plat::WS_EPFNOSUPPORT, "Protocol family not supported."},  // 10046
        {plat::WS_EAFNOSUPPORT, "不支持指定的地址族。"},  // 10047
        {plat::WS_EADDRINUSE, "所指的地址已在使用中。"},  // 10048
        {plat::WS_EADDRNOTAVAIL, "在本地机器上找不到所指的地址。"},  // 10049
        {plat::WS_ENETDOWN, "网络子系统失效"},  // 10050
        {plat::WS_ENETUNREACH, "当前无法从本主机联系网络。"},  // 10051
        {plat::WS_ENETRESET, "远端主机复位造成连接的中止。"},  // 10052
        {plat::WS_ECONNABORTED, "Software caused connection abort."},  // 10053
        {plat::WS_ECONNRESET, "连接由远端重建."},  // 10054
        {plat::WS_ENOBUFS, "无可用缓冲区空间。"},  // 10055
        {plat::WS_EISCONN, "套接口已经连接."},  // 10056
        {plat::WS_ENOTCONN, "套接口未连接。"},  // 10057
        {plat::WS_ESHUTDOWN, "套接口已经关闭。"},  // 10058
        {plat::WS_ETIMEDOUT, "连接试图超时，连接未建立。"},  // 10060
        {plat::WS_ECONNREFUSED, "连接被拒绝，无法连接到服务器。"},  // 10061
        {plat::WS_EHOSTDOWN, "服务器已关闭"},  // 10064
        {plat::WS_EHOSTUNREACH, "No route to host."},  // 10065
        {plat::WS_EPROCLIM, "线程过多"},  // 10067
        {plat::WS_SYSNOTREADY, "指出网络通信依赖的网络子系统还没有准备好."},  // 10091
        {plat::WS_VERNOTSUPPORTED, "所需的Windows Sockets API的版本未由特定的Windows Sockets实现提供."},  // 10092
        {plat::WS_NOTINITIALISED, "在使用本API前必须进行一次成功的WSAStartup()调用."},  // 10093
        {plat::WS_EDISCON, "远端优雅地中止了连接。"},  // 10101
        {plat::WS_SYSCALLFAILURE, "系统调用失败"},  // 10107
        {plat::WS_TYPE_NOT_FOUND, "Class type not found."},  // 10109
        {plat::WS_HOST_NOT_FOUND, "未找到授权应答主机"},  // 11001
        {plat::WS_TRY_AGAIN, " 未找到非授权应答主机,或Server Fail."},  // 11002
        {plat::WS_NO_RECOVERY, "不可恢复性错误"},  // 11003
        {plat::WS_NO_DATA, "合法名,无请求类型的数据记录."},  // 11004
};

plat::HWND CreateWinsockWindow() {
    auto& s = S();
    plat::HWND h = plat::CreateMessageWindow("tarnSOCKET_WINDOW");
    if (h == 0) return 0;
    plat::WindowProc previous = plat::SetWindowProc(h, &SocketWindowProc);
    if (previous == nullptr) {
        plat::DestroyWindow(h);
        return 0;
    }
    s.previousProc = previous;
    s.window = h;
    return h;
}

bool DestroyWinsockWindow() {
    auto& s = S();
    bool ok = plat::SetWindowProc(s.window, s.previousProc) != nullptr;
    ok = plat::DestroyWindow(s.window) && ok;
    s.window = 0;
    s.previousProc = nullptr;
    return ok;
}

void DeliverLookup(std::uintptr_t task, plat::LPARAM lParam) {
    auto& s = S();
    auto it = s.lookups.find(task);
    if (it == s.lookups.end()) return;
    // The platform is done with the block once the message is posted: take it out
    // of the table now, whatever the delivery does.
    Lookup lookup = std::move(it->second);
    s.lookups.erase(it);
    if (lookup.object == nullptr) return;

    int error = plat::HiWord(static_cast<std::uintptr_t>(lParam));
    if (error != 0) {
        lookup.object->PostGetHostEvent(0, 0, "", error);
        return;
    }
    const auto* he = reinterpret_cast<const plat::HOSTENT*>(lookup.block.get());
    if (he->h_length != 4 || he->h_addr_list == nullptr || he->h_addr_list[0] == nullptr) {
        lookup.object->PostGetHostEvent(0, 0, "", plat::WS_NO_DATA);
        return;
    }
    std::uint32_t address;
    std::memcpy(&address, he->h_addr_list[0], 4);
    lookup.object->PostGetHostEvent(task, address, StringFromPointer(he->h_name), 0);
}

}  // namespace

std::int32_t InitWinsockService() {
    auto& s = S();
    if (s.started) {
        ++s.users;
        return s.maxDatagramSize;
    }
    plat::WSADATA data{};
    int rc = plat::WSAStartup(0x0101, &data);
    if (rc != 0) Raise(rc, "MSocketSupport.InitWinsockService", StartupErrorText(rc));
    s.started = true;
    s.maxDatagramSize = data.iMaxUdpDg;
    std::string exe = plat::ExeName();
    s.resolveMessage = plat::RegisterWindowMessageA(exe + ".ResolveMessage");
    s.winsockMessage = plat::RegisterWindowMessageA(exe + ".WinsockMessage");
    ++s.users;
    return s.maxDatagramSize;
}

void FinalizeWinsockService() {
    auto& s = S();
    if (s.users > 0) --s.users;
    // An object still alive may make a socket at any time: the service stays for it.
    if (s.users > 0 || !s.sockets.empty() || !s.started) return;
    plat::WSACleanup();
    s.started = false;
}

bool RegisterSocket(std::int32_t handle, CSocket* object) {
    auto& s = S();
    const char* source = "MSocketSupport.RegisterSocket";
    if (s.window == 0 && CreateWinsockWindow() == 0) {
        SetPendingError(err::kSocketNoWindow, source, "The operation was canceled.");
        return false;
    }
    if (!s.sockets.emplace(handle, object).second) return false;
    if (plat::WSAAsyncSelect(static_cast<plat::SOCKET>(static_cast<std::uint32_t>(handle)), s.window,
                             s.winsockMessage, kSelectedEvents) != 0) {
        int code = plat::WSAGetLastError();
        SetPendingError(code, source, GetErrorDescription(code));
        // Leave nothing behind: the handle is not registered.
        s.sockets.erase(handle);
        if (s.sockets.empty() && s.lookups.empty()) DestroyWinsockWindow();
        return false;
    }
    return true;
}

bool UnregisterSocket(std::int32_t handle) {
    auto& s = S();
    if (s.sockets.empty() || handle == -1) return false;
    plat::WSAAsyncSelect(static_cast<plat::SOCKET>(static_cast<std::uint32_t>(handle)), s.window, 0, 0);
    s.sockets.erase(handle);
    // A look-up still running keeps the window: its completion must arrive so that
    // its block can be freed.
    if (s.sockets.empty() && s.lookups.empty()) return DestroyWinsockWindow();
    return true;
}

std::uintptr_t ResolveHost(const std::string& name, CSocket* object) {
    auto& s = S();
    Lookup lookup;
    lookup.object = object;
    lookup.block.reset(new (std::nothrow) std::max_align_t[kLookupBlockSize / sizeof(std::max_align_t)]);
    if (!lookup.block) return 0;
    // One look-up per object: an earlier one still running delivers nowhere.
    DetachLookups(object);
    std::uintptr_t task = plat::WSAAsyncGetHostByName(s.window, s.resolveMessage, name.c_str(),
                                                      reinterpret_cast<char*>(lookup.block.get()), kLookupBlockSize);
    if (task == 0) {
        int code = plat::WSAGetLastError();
        SetPendingError(code, "MSocketSupport.ResolveHost", GetErrorDescription(code));
        return 0;
    }
    s.lookups.emplace(task, std::move(lookup));
    return task;
}

void DetachLookups(const CSocket* object) {
    for (auto& [task, lookup] : S().lookups)
        if (lookup.object == object) lookup.object = nullptr;
}

std::string GetErrorDescription(std::int32_t code) {
    for (const auto& e : kErrorTexts)
        if (e.code == code) return e.text;
    return "未知错误";
}

std::string StartupErrorText(std::int32_t code) {
    switch (code) {
        case plat::WS_EINVAL:
            return std::string("The Windows Sockets version specified by the ") +
                   "application is not supported by this DLL.";
        case plat::WS_SYSNOTREADY:
            return std::string("The underlying network subsystem is not ") + "ready for network communication.";
        case plat::WS_VERNOTSUPPORTED:
            return std::string("The version of Windows Sockets API support ") +
                   "requested is not provided by this particular " + "Windows Sockets implementation.";
        default:
            return std::string();
    }
}

std::string StringFromPointer(const char* text) { return text ? std::string(text) : std::string(); }

std::int16_t UnsignedToInteger(std::int32_t value) {
    if (value < 0 || value > 65535) Raise(err::kOverflow, "MSocketSupport.UnsignedToInteger", "Overflow");
    return static_cast<std::int16_t>(value > 32767 ? value - 65536 : value);
}

std::int32_t IntegerToUnsigned(std::int16_t value) { return value < 0 ? value + 65536 : value; }

plat::LRESULT SocketWindowProc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
    auto& s = S();
    if (msg == s.winsockMessage || msg == s.resolveMessage) {
        // A failure while the socket object handles the delivery ends here.
        try {
            if (msg == s.winsockMessage) {
                auto it = s.sockets.find(static_cast<std::int32_t>(wParam));
                if (it == s.sockets.end()) return 0;
                auto l = static_cast<std::uintptr_t>(lParam);
                it->second->PostSocketEvent(plat::LoWord(l), plat::HiWord(l));
            } else {
                DeliverLookup(wParam, lParam);
            }
        } catch (const RaisedError& e) {
            LastError() = e.Report();
        } catch (const std::exception& e) {
            SetPendingError(err::kInvalidCall, "MSocketSupport.SocketWindowProc", e.what());
        }
        // The last look-up finished after the last socket left: the window goes now.
        if (msg == s.resolveMessage && s.lookups.empty() && s.sockets.empty() && s.window != 0)
            DestroyWinsockWindow();
        return 0;
    }
    return plat::CallWindowProcA(s.previousProc, hwnd, msg, wParam, lParam);
}

bool WinsockStarted() { return S().started; }
std::int32_t MaxDatagramSize() { return S().maxDatagramSize; }
plat::HWND WinsockWindow() { return S().window; }
plat::UINT WinsockMessage() { return S().winsockMessage; }
plat::UINT ResolveMessage() { return S().resolveMessage; }
std::size_t RegisteredSockets() { return S().sockets.size(); }
std::size_t PendingLookups() { return S().lookups.size(); }
std::size_t ServiceUsers() { return S().users; }

}  // namespace nl::MSocketSupport
