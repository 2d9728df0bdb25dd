#include "net/CSocket.h"

#include "net/MSocketSupport.h"
#include "support/ErrorReport.h"

// Work in progress: the surface is final, the transfer logic lands next.
namespace nl {

CSocket::CSocket() : alive_(std::make_shared<bool>(true)) {}
CSocket::~CSocket() { *alive_ = false; }
void CSocket::SetTimeOut(std::int32_t ms) { timeOut_ = ms; }
void CSocket::SetRemoteHost(const std::string& host) { remoteHost_ = host; }
void CSocket::SetProtocol(std::int32_t protocol) {
    if (socketHandle_ == -1) protocol_ = protocol;
}
void CSocket::SendData(const Variant&) { Raise(40006, "CSocket.SendData", "not yet available"); }
void CSocket::SendData(Byte) { Raise(40006, "CSocket.SendData", "not yet available"); }
void CSocket::SendData(Single) { Raise(40006, "CSocket.SendData", "not yet available"); }
void CSocket::SendData(Double) { Raise(40006, "CSocket.SendData", "not yet available"); }
void CSocket::SendData(Currency) { Raise(40006, "CSocket.SendData", "not yet available"); }
void CSocket::SendData(Date) { Raise(40006, "CSocket.SendData", "not yet available"); }
void CSocket::GetData(ByteArray& destination) const { destination.data = receiveBuffer_; destination.lbound = 0; }
void CSocket::GetData(std::string& destination) const { destination.assign(receiveBuffer_.begin(), receiveBuffer_.end()); }
void CSocket::PeekData(Variant& destination) const { destination = Variant(ByteArray{receiveBuffer_, 0}); }
void CSocket::Listen() {}
void CSocket::Connect(const Variant&, const Variant&) {}
void CSocket::CloseSocket() {}
void CSocket::Bind(std::int32_t, const std::string&) {}
void CSocket::Accept(std::int32_t) {}
std::int32_t CSocket::vbSocket() { return -1; }
void CSocket::PostSocketEvent(std::int32_t, std::int32_t) {}
void CSocket::PostGetHostEvent(std::uintptr_t, std::uint32_t, const std::string&, std::int32_t) {}

}  // namespace nl
