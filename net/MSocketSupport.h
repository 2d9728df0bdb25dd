// The process-wide half of the socket layer: starts and stops Windows Sockets,
// owns the hidden window that receives network events and finished host-name
// look-ups, routes each of them to the CSocket it concerns, and holds the error
// texts.
//
// The service runs while any socket object exists: every CSocket counts as one user
// from its creation to its destruction, and the service is cleaned up only when
// the last user has gone and no socket is registered.
//
// Tables:
//  - sockets: socket handle -> CSocket (non-owning). A CSocket leaves it before its
//    handle is closed. The hidden window is created by the first registration and
//    destroyed when the last socket leaves, or, when look-ups are still running
//    then, when the last of them has finished.
//  - look-ups: task handle -> (CSocket, 1024-byte result block). A block belongs
//    to its task and is freed only when the task's completion has been handled, so
//    the platform never writes into freed memory. A CSocket that is destroyed, or
//    closes its handle, or starts another look-up, is detached from its earlier
//    tasks: their results are dropped on arrival and never reach it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace nl {

class CSocket;

namespace MSocketSupport {

// Counts one more user, starting Windows Sockets first if it is not running, and
// returns the largest datagram size. A start-up failure is raised (source
// "MSocketSupport.InitWinsockService") and counts no user.
std::int32_t InitWinsockService();
// Counts one user less; cleans up when none is left, no socket is registered and
// the service is running.
void FinalizeWinsockService();

// Enters the handle in the socket table and selects its network events. On false
// a pending error is recorded in nl::LastError() and nothing is left behind.
bool RegisterSocket(std::int32_t handle, CSocket* object);
bool UnregisterSocket(std::int32_t handle);

// Starts a look-up of name for object. Returns the task handle, or 0; when the
// platform refused it a pending error is recorded.
std::uintptr_t ResolveHost(const std::string& name, CSocket* object);
// Makes every pending look-up of object deliver nowhere.
void DetachLookups(const CSocket* object);

std::string GetErrorDescription(std::int32_t code);
// The message InitWinsockService raises for a start-up error code.
std::string StartupErrorText(std::int32_t code);

std::string StringFromPointer(const char* text);
std::int16_t UnsignedToInteger(std::int32_t value);  // raises an overflow (6) outside 0..65535
std::int32_t IntegerToUnsigned(std::int16_t value);

plat::LRESULT SocketWindowProc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam);

// ---- state, for the socket objects and for inspection ---------------------
bool WinsockStarted();
std::int32_t MaxDatagramSize();
plat::HWND WinsockWindow();  // 0 while none exists
plat::UINT WinsockMessage();
plat::UINT ResolveMessage();
std::size_t RegisteredSockets();
std::size_t ServiceUsers();
std::size_t PendingLookups();

}  // namespace MSocketSupport
}  // namespace nl
