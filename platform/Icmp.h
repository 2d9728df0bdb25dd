// ICMP echo ("ping") over IPv4: IcmpCreateFile, IcmpSendEcho and IcmpCloseHandle,
// with the request options and the echo-reply record in the shapes of their
// icmp.dll namesakes, so that the Windows build can pass them straight through.
//
// IcmpSendEcho blocks the calling thread until a reply arrives or the time-out
// runs out. It returns the number of reply records written at the start of the
// reply buffer (at most one here): an echo reply (status PL_IP_SUCCESS) or an
// ICMP error about the request (destination unreachable, time exceeded, ...),
// whose status is one of the PL_IP_ codes below. It returns 0 when nothing came
// back in time (GetLastError() = PL_IP_REQ_TIMED_OUT), when the request could not
// be sent (PL_IP_DEST_NET_UNREACHABLE, PL_IP_DEST_HOST_UNREACHABLE,
// PL_IP_BAD_DESTINATION, PL_IP_GENERAL_FAILURE), or for bad arguments
// (PL_ERROR_INVALID_PARAMETER, PL_ERROR_INSUFFICIENT_BUFFER; platform/Errors.h).
//
// Replies that do not answer this request (another program's echo, an earlier
// request's late answer) are passed over, not taken as its answer.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace plat {

using IPAddr = std::uint32_t;  // IPv4 address, network byte order

// IcmpCreateFile's failure value (the handle 0 is never handed out either).
constexpr HANDLE PL_INVALID_HANDLE_VALUE = ~HANDLE{0};

// IP status codes (ipexport.h), the reply's Status and GetLastError() after a
// call that returned 0.
constexpr DWORD PL_IP_SUCCESS = 0;
constexpr DWORD PL_IP_STATUS_BASE = 11000;
constexpr DWORD PL_IP_BUF_TOO_SMALL = 11001;
constexpr DWORD PL_IP_DEST_NET_UNREACHABLE = 11002;
constexpr DWORD PL_IP_DEST_HOST_UNREACHABLE = 11003;
constexpr DWORD PL_IP_DEST_PROT_UNREACHABLE = 11004;
constexpr DWORD PL_IP_DEST_PORT_UNREACHABLE = 11005;
constexpr DWORD PL_IP_NO_RESOURCES = 11006;
constexpr DWORD PL_IP_BAD_OPTION = 11007;
constexpr DWORD PL_IP_HW_ERROR = 11008;
constexpr DWORD PL_IP_PACKET_TOO_BIG = 11009;
constexpr DWORD PL_IP_REQ_TIMED_OUT = 11010;
constexpr DWORD PL_IP_BAD_REQ = 11011;
constexpr DWORD PL_IP_BAD_ROUTE = 11012;
constexpr DWORD PL_IP_TTL_EXPIRED_TRANSIT = 11013;
constexpr DWORD PL_IP_TTL_EXPIRED_REASSEM = 11014;
constexpr DWORD PL_IP_PARAM_PROBLEM = 11015;
constexpr DWORD PL_IP_SOURCE_QUENCH = 11016;
constexpr DWORD PL_IP_OPTION_TOO_BIG = 11017;
constexpr DWORD PL_IP_BAD_DESTINATION = 11018;
constexpr DWORD PL_IP_GENERAL_FAILURE = 11050;

// IP_OPTION_INFORMATION.Flags: set the "don't fragment" bit.
constexpr std::uint8_t PL_IP_FLAG_DF = 0x2;

// The request's IP header settings (IP_OPTION_INFORMATION).
struct IP_OPTION_INFORMATION {
    std::uint8_t Ttl;
    std::uint8_t Tos;
    std::uint8_t Flags;
    std::uint8_t OptionsSize;
    std::uint8_t* OptionsData;  // OptionsSize bytes of IP options, or nullptr
};

// One reply (ICMP_ECHO_REPLY). Data and Options.OptionsData point into the reply
// buffer behind the records.
struct ICMP_ECHO_REPLY {
    IPAddr Address;          // who replied: the host, or the router that reported the error
    std::uint32_t Status;    // PL_IP_SUCCESS or another PL_IP_ code
    std::uint32_t RoundTripTime;  // milliseconds
    std::uint16_t DataSize;  // bytes at Data: the echoed request data
    std::uint16_t Reserved;
    void* Data;
    IP_OPTION_INFORMATION Options;  // the reply's IP header settings
};

// Opens a handle for echo requests; PL_INVALID_HANDLE_VALUE (with GetLastError())
// when this process may not send them (PL_ERROR_ACCESS_DENIED) or no handle can
// be had.
HANDLE IcmpCreateFile();

// Sends one echo request carrying RequestData to the destination and waits at
// most Timeout milliseconds for its answer. RequestOptions may be nullptr (the
// system's defaults). ReplySize must leave room for one record, the request data
// and 8 bytes more (an ICMP error message).
DWORD IcmpSendEcho(HANDLE IcmpHandle, IPAddr DestinationAddress, void* RequestData, std::uint16_t RequestSize,
                   IP_OPTION_INFORMATION* RequestOptions, void* ReplyBuffer, DWORD ReplySize, DWORD Timeout);

// Closes the handle; false (PL_ERROR_INVALID_HANDLE) when it is not open.
bool IcmpCloseHandle(HANDLE IcmpHandle);

}  // namespace plat
