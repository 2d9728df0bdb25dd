// ICMP echo straight through to iphlpapi: the records have the shapes of
// ipexport.h's, so the reply buffer is the system's own and nothing is
// translated. IcmpSendEcho blocks the calling thread, as Windows' does.
#include "platform/Icmp.h"

#include <cstddef>

#include "platform/Errors.h"
#include "platform/win32/WinApi.h"

// After the platform header and windows.h: icmpapi.h needs iphlpapi.h's types.
#include <winsock2.h>
#include <iphlpapi.h>
#include <icmpapi.h>

namespace plat {

static_assert(sizeof(IPAddr) == sizeof(::IPAddr));
static_assert(sizeof(IP_OPTION_INFORMATION) == sizeof(::IP_OPTION_INFORMATION));
static_assert(offsetof(IP_OPTION_INFORMATION, OptionsData) == offsetof(::IP_OPTION_INFORMATION, OptionsData));
static_assert(sizeof(ICMP_ECHO_REPLY) == sizeof(::ICMP_ECHO_REPLY));
static_assert(offsetof(ICMP_ECHO_REPLY, DataSize) == offsetof(::ICMP_ECHO_REPLY, DataSize));
static_assert(offsetof(ICMP_ECHO_REPLY, Data) == offsetof(::ICMP_ECHO_REPLY, Data));
static_assert(offsetof(ICMP_ECHO_REPLY, Options) == offsetof(::ICMP_ECHO_REPLY, Options));
static_assert(PL_IP_SUCCESS == IP_SUCCESS && PL_IP_REQ_TIMED_OUT == IP_REQ_TIMED_OUT &&
              PL_IP_DEST_HOST_UNREACHABLE == IP_DEST_HOST_UNREACHABLE &&
              PL_IP_BAD_DESTINATION == IP_BAD_DESTINATION && PL_IP_GENERAL_FAILURE == IP_GENERAL_FAILURE);
static_assert(PL_IP_FLAG_DF == IP_FLAG_DF);

HANDLE IcmpCreateFile() {
    const ::HANDLE h = ::IcmpCreateFile();
    if (h == win32::InvalidHandle()) return PL_INVALID_HANDLE_VALUE;
    return reinterpret_cast<HANDLE>(h);
}

DWORD IcmpSendEcho(HANDLE icmpHandle, IPAddr destinationAddress, void* requestData, std::uint16_t requestSize,
                   IP_OPTION_INFORMATION* requestOptions, void* replyBuffer, DWORD replySize, DWORD timeout) {
    return win32::Dw(::IcmpSendEcho(reinterpret_cast<::HANDLE>(icmpHandle), destinationAddress, requestData,
                                    requestSize, reinterpret_cast<::IP_OPTION_INFORMATION*>(requestOptions),
                                    replyBuffer, replySize, timeout));
}

bool IcmpCloseHandle(HANDLE icmpHandle) { return ::IcmpCloseHandle(reinterpret_cast<::HANDLE>(icmpHandle)) != FALSE; }

}  // namespace plat
