// The two kinds of socket an ICMP handle can stand on under Linux: the datagram
// ICMP socket ("ping socket"), which needs no privilege where the system's
// net.ipv4.ping_group_range holds one of the process's groups, and the raw socket,
// which needs root or CAP_NET_RAW. IcmpCreateFile tries them in that order.
#pragma once

#include "platform/Icmp.h"

namespace plat::posix {

enum class IcmpSocketKind { None, Datagram, Raw };

// Opens a handle on the given kind only (None: either, as IcmpCreateFile does).
HANDLE IcmpCreateFileOfKind(IcmpSocketKind kind);

// The kind the handle stands on; None when it is not open.
IcmpSocketKind IcmpKindOf(HANDLE icmpHandle);

}  // namespace plat::posix
