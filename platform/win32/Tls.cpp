// The session through SChannel (SSPI) on buffers of its own: the socket layer
// moves the bytes. SChannel is told to leave the certificate to the caller, and
// the chain engine judges it: the chain's own trust status and the SSL policy
// both have to pass, since a partial chain can pass the policy alone. Roots from
// the caller's file go to the chain engine as an additional store, and an
// untrusted root is accepted only when it is exactly one of them.
#include "platform/Tls.h"

#include "platform/win32/WinApi.h"

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace plat {
namespace {

// SECURITY_FLAG_IGNORE_UNKNOWN_CA, which the SSL policy takes but only
// wininet.h defines.
constexpr DWORD kIgnoreUnknownCa = 0x00000100;

constexpr unsigned long kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                   ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

// The SSPI calls, from the system's secur32.dll, loaded when the first secure
// connection is made rather than with the program: Wine's secur32 starts Windows
// Sockets as it loads, for the whole process, before any socket object wants it.
const SecurityFunctionTableA* Sspi() {
    static const SecurityFunctionTableA* const table = []() -> const SecurityFunctionTableA* {
        HMODULE dll = ::LoadLibraryExW(L"secur32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!dll) return nullptr;
        FARPROC entry = ::GetProcAddress(dll, SECURITY_ENTRYPOINT_ANSIA);
        if (!entry) return nullptr;
        auto init = reinterpret_cast<INIT_SECURITY_INTERFACE_A>(reinterpret_cast<void (*)()>(entry));
        return init();
    }();
    return table;
}

std::string Hex(unsigned long v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", v);
    return text;
}

// The certificates of a PEM file, in a memory store; nullptr when the file cannot
// be read or holds none.
HCERTSTORE LoadCertificates(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return nullptr;
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!store) return nullptr;
    static const std::string kBegin = "-----BEGIN CERTIFICATE-----", kEnd = "-----END CERTIFICATE-----";
    int added = 0;
    for (std::size_t at = text.find(kBegin); at != std::string::npos; at = text.find(kBegin, at + 1)) {
        const std::size_t end = text.find(kEnd, at);
        if (end == std::string::npos) break;
        const std::string block = text.substr(at, end + kEnd.size() - at);
        DWORD size = 0;
        if (!::CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                    nullptr, &size, nullptr, nullptr))
            continue;
        std::string der(size, '\0');
        if (::CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                   reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr) &&
            ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                               size, CERT_STORE_ADD_ALWAYS, nullptr))
            ++added;
    }
    if (added > 0) return store;
    ::CertCloseStore(store, 0);
    return nullptr;
}

// Whether the certificate names the dotted IPv4 address among its subject's
// alternative names, as the system decodes them. Wine's SSL policy matches only
// names, never addresses, and refuses every certificate for an address.
bool NamesAddress(PCCERT_CONTEXT cert, const std::string& host) {
    unsigned a[4];
    char tail;
    if (std::sscanf(host.c_str(), "%3u.%3u.%3u.%3u%c", &a[0], &a[1], &a[2], &a[3], &tail) != 4) return false;
    BYTE address[4];
    for (int i = 0; i < 4; ++i) {
        if (a[i] > 255) return false;
        address[i] = static_cast<BYTE>(a[i]);
    }
    const CERT_EXTENSION* ext = ::CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension,
                                                    cert->pCertInfo->rgExtension);
    if (!ext) return false;
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData, ext->Value.cbData,
                               CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size))
        return false;
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY& e = names->rgAltEntry[i];
        found = e.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && e.IPAddress.cbData == 4 &&
                std::memcmp(e.IPAddress.pbData, address, 4) == 0;
    }
    ::LocalFree(names);
    return found;
}

}  // namespace

struct TlsClient::Impl {
    std::string host;
    CredHandle cred{};
    bool haveCred = false;
    CtxtHandle ctx{};
    bool haveCtx = false;
    HCERTSTORE roots = nullptr;  // the caller's
    SecPkgContext_StreamSizes sizes{};
    std::vector<std::uint8_t> in;
    std::vector<std::uint8_t> outgoing;
    std::string problem;
    bool failed = false;
    bool ready = false;

    ~Impl() {
        if (haveCtx) Sspi()->DeleteSecurityContext(&ctx);
        if (haveCred) Sspi()->FreeCredentialsHandle(&cred);
        if (roots) ::CertCloseStore(roots, 0);
    }

    bool Fail(std::string why) {
        if (!failed) problem = std::move(why);
        failed = true;
        return false;
    }

    void Take(SecBuffer& token) {
        if (token.pvBuffer && token.cbBuffer) {
            const auto* p = static_cast<const std::uint8_t*>(token.pvBuffer);
            outgoing.insert(outgoing.end(), p, p + token.cbBuffer);
        }
        if (token.pvBuffer) Sspi()->FreeContextBuffer(token.pvBuffer);
        token.pvBuffer = nullptr;
    }

    // Keeps what the last call left unread (an EXTRA buffer) or nothing.
    void KeepExtra(const SecBuffer& b) {
        if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0 && b.cbBuffer <= in.size())
            in.erase(in.begin(), in.end() - static_cast<std::ptrdiff_t>(b.cbBuffer));
        else
            in.clear();
    }

    bool RootIsOurs(PCCERT_CHAIN_CONTEXT chain) const {
        if (!roots || chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) return false;
        const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
        PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
        PCCERT_CONTEXT found = ::CertFindCertificateInStore(roots, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root, nullptr);
        if (!found) return false;
        ::CertFreeCertificateContext(found);
        return true;
    }

    bool Verify() {
        PCCERT_CONTEXT cert = nullptr;
        if (Sspi()->QueryContextAttributesA(&ctx, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK || !cert)
            return Fail("the server sent no certificate");
        HCERTSTORE all = ::CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
        if (all) {
            ::CertAddStoreToCollection(all, cert->hCertStore, 0, 0);
            if (roots) ::CertAddStoreToCollection(all, roots, 0, 0);
        }
        char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
        LPSTR usage[] = {serverAuth};
        CERT_CHAIN_PARA para{};
        para.cbSize = sizeof para;
        para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
        para.RequestedUsage.Usage.cUsageIdentifier = 1;
        para.RequestedUsage.Usage.rgpszUsageIdentifier = usage;
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        const BOOL built = ::CertGetCertificateChain(nullptr, cert, nullptr, all, &para, 0, nullptr, &chain);
        bool ok = built && chain ? Judge(chain) : Fail("the certificate chain cannot be built");
        if (chain) ::CertFreeCertificateChain(chain);
        if (all) ::CertCloseStore(all, 0);
        ::CertFreeCertificateContext(cert);
        return ok;
    }

    bool Judge(PCCERT_CHAIN_CONTEXT chain) {
        const bool ours = RootIsOurs(chain);
        const CERT_SIMPLE_CHAIN* simple = chain->cChain ? chain->rgpChain[0] : nullptr;
        const bool selfSigned = simple && simple->cElement == 1 &&
                                (simple->rgpElement[0]->TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED);
        DWORD status = chain->TrustStatus.dwErrorStatus;
        // No revocation check was asked for.
        status &= ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
        if (ours) status &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
        if (status & CERT_TRUST_IS_NOT_TIME_VALID) return Fail(kExpired);
        if (selfSigned && !ours) return Fail(kSelfSigned);
        if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) return Fail(kUntrusted);
        if (status) return Fail("certificate refused (chain status " + Hex(status) + ")");

        std::wstring name(host.size() + 1, L'\0');
        const int n = ::MultiByteToWideChar(CP_ACP, 0, host.c_str(), -1, name.data(), static_cast<int>(name.size()));
        if (n <= 0) return Fail(kWrongHost);
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.fdwChecks = ours ? kIgnoreUnknownCa : 0;
        ssl.pwszServerName = name.data();
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.dwFlags = ours ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS result{};
        result.cbSize = sizeof result;
        if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result))
            return Fail("the certificate policy cannot be checked");
        switch (static_cast<HRESULT>(result.dwError)) {
            case 0: return true;
            case CERT_E_UNTRUSTEDROOT:
                if (ours) return true;
                return Fail(kUntrusted);
            case CERT_E_CHAINING:
            case CERT_E_UNTRUSTEDCA: return Fail(kUntrusted);
            case CERT_E_CN_NO_MATCH:
                if (simple && simple->cElement && NamesAddress(simple->rgpElement[0]->pCertContext, host)) return true;
                return Fail(kWrongHost);
            case CERT_E_EXPIRED: return Fail(kExpired);
            default: return Fail("certificate refused (policy " + Hex(result.dwError) + ")");
        }
    }

    std::string HandshakeReason(SECURITY_STATUS st) const {
        switch (st) {
            case SEC_E_ALGORITHM_MISMATCH:
            case SEC_E_UNSUPPORTED_FUNCTION: return kOldProtocol;
            default: return "secure connection failed (SChannel " + Hex(static_cast<unsigned long>(st)) + ")";
        }
    }
};

TlsClient::TlsClient(const std::string& host, const std::string& caFile) : impl_(std::make_unique<Impl>()) {
    Impl& s = *impl_;
    s.host = host;
    if (host.empty()) {
        s.Fail(kWrongHost);
        return;
    }
    if (!caFile.empty() && !(s.roots = LoadCertificates(caFile))) {
        s.Fail("the certificate file " + caFile + " cannot be read");
        return;
    }
    if (!Sspi()) {
        s.Fail("secure connections are not available");
        return;
    }
    SCHANNEL_CRED sc{};
    sc.dwVersion = SCHANNEL_CRED_VERSION;
    sc.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    sc.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    char package[] = UNISP_NAME_A;
    if (Sspi()->AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &sc, nullptr, nullptr,
                                          &s.cred, nullptr) != SEC_E_OK) {
        s.Fail("secure connections are not available");
        return;
    }
    s.haveCred = true;
}

TlsClient::~TlsClient() = default;

void TlsClient::Received(const std::uint8_t* data, std::size_t n) {
    if (!impl_->failed) impl_->in.insert(impl_->in.end(), data, data + n);
}

TlsClient::Step TlsClient::Handshake() {
    Impl& s = *impl_;
    for (;;) {
        if (s.failed) return Step::Failed;
        if (s.ready) return Step::Ready;
        const bool first = !s.haveCtx;
        if (!first && s.in.empty()) return Step::Pending;
        SecBuffer input[2] = {{static_cast<unsigned long>(s.in.size()), SECBUFFER_TOKEN, s.in.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, input};
        SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, output};
        unsigned long attributes = 0;
        const SECURITY_STATUS st = Sspi()->InitializeSecurityContextA(
            &s.cred, first ? nullptr : &s.ctx, s.host.data(), kRequest, 0, 0, first ? nullptr : &inDesc, 0,
            first ? &s.ctx : nullptr, &outDesc, &attributes, nullptr);
        if (first && (st == SEC_E_OK || st == SEC_I_CONTINUE_NEEDED)) s.haveCtx = true;
        s.Take(output[0]);
        if (st == SEC_E_INCOMPLETE_MESSAGE) return Step::Pending;
        if (st != SEC_E_OK && st != SEC_I_CONTINUE_NEEDED) {
            s.Fail(s.HandshakeReason(st));
            return Step::Failed;
        }
        if (!first) s.KeepExtra(input[1]);
        if (st == SEC_I_CONTINUE_NEEDED) {
            if (first) return Step::Pending;
            continue;
        }
        if (!s.Verify()) return Step::Failed;
        if (Sspi()->QueryContextAttributesA(&s.ctx, SECPKG_ATTR_STREAM_SIZES, &s.sizes) != SEC_E_OK) {
            s.Fail("secure connection failed: no stream sizes");
            return Step::Failed;
        }
        s.ready = true;
    }
}

bool TlsClient::Seal(const std::uint8_t* data, std::size_t n) {
    Impl& s = *impl_;
    if (s.failed || !s.ready) return false;
    while (n > 0) {
        const std::size_t part = std::min<std::size_t>(n, s.sizes.cbMaximumMessage);
        std::vector<std::uint8_t> message(s.sizes.cbHeader + part + s.sizes.cbTrailer);
        std::memcpy(message.data() + s.sizes.cbHeader, data, part);
        SecBuffer b[4] = {{s.sizes.cbHeader, SECBUFFER_STREAM_HEADER, message.data()},
                          {static_cast<unsigned long>(part), SECBUFFER_DATA, message.data() + s.sizes.cbHeader},
                          {s.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, message.data() + s.sizes.cbHeader + part},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS st = Sspi()->EncryptMessage(&s.ctx, 0, &desc, 0);
        if (st != SEC_E_OK) return s.Fail("secure connection failed (SChannel " + Hex(static_cast<unsigned long>(st)) + ")");
        const std::size_t total = b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer;
        s.outgoing.insert(s.outgoing.end(), message.begin(), message.begin() + static_cast<std::ptrdiff_t>(total));
        data += part;
        n -= part;
    }
    return true;
}

bool TlsClient::Open(std::vector<std::uint8_t>& plain) {
    Impl& s = *impl_;
    if (s.failed || !s.ready) return false;
    // The records are opened where they lie, and what they used is dropped once
    // at the end: a read of some megabytes holds hundreds of them.
    std::size_t at = 0;
    while (at < s.in.size()) {
        SecBuffer b[4] = {{static_cast<unsigned long>(s.in.size() - at), SECBUFFER_DATA, s.in.data() + at},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS st = Sspi()->DecryptMessage(&s.ctx, &desc, 0, nullptr);
        if (st == SEC_E_INCOMPLETE_MESSAGE) break;
        if (st == SEC_I_CONTEXT_EXPIRED) {  // the peer's close_notify
            s.in.clear();
            return true;
        }
        if (st != SEC_E_OK) return s.Fail("secure connection failed (SChannel " + Hex(static_cast<unsigned long>(st)) + ")");
        std::size_t left = 0;
        for (const SecBuffer& x : b) {
            if (x.BufferType == SECBUFFER_DATA && x.pvBuffer && x.cbBuffer) {
                const auto* p = static_cast<const std::uint8_t*>(x.pvBuffer);
                plain.insert(plain.end(), p, p + x.cbBuffer);
            }
            if (x.BufferType == SECBUFFER_EXTRA && x.cbBuffer <= s.in.size() - at) left = x.cbBuffer;
        }
        at = s.in.size() - left;
    }
    s.in.erase(s.in.begin(), s.in.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

std::vector<std::uint8_t>& TlsClient::Outgoing() { return impl_->outgoing; }

const std::string& TlsClient::Problem() const { return impl_->problem; }

}  // namespace plat
