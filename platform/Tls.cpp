#include "platform/Tls.h"

namespace plat {

const char* const TlsClient::kExpired = "certificate has expired";
const char* const TlsClient::kWrongHost = "certificate is for another host";
const char* const TlsClient::kSelfSigned = "certificate is self-signed";
const char* const TlsClient::kUntrusted = "certificate is not from a trusted authority";
const char* const TlsClient::kOldProtocol = "the server offers no TLS 1.2 or later";

}  // namespace plat
