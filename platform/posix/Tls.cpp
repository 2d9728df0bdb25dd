// The session through OpenSSL with two memory BIOs: the socket layer moves the
// bytes, libssl does the rest, including the chain and host name checks.
#include "platform/Tls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <dirent.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace plat {

struct TlsClient::Impl {
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    BIO* in = nullptr;   // owned by ssl
    BIO* out = nullptr;  // owned by ssl
    std::vector<std::uint8_t> outgoing;
    std::string problem;
    bool failed = false;

    ~Impl() {
        SSL_free(ssl);
        SSL_CTX_free(ctx);
    }

    bool Fail(std::string why) {
        if (!failed) problem = std::move(why);
        failed = true;
        ERR_clear_error();
        return false;
    }

    // Moves what libssl wrote into the outgoing bytes.
    void Collect() {
        char* data = nullptr;
        const long n = BIO_get_mem_data(out, &data);
        if (n > 0) outgoing.insert(outgoing.end(), data, data + n);
        (void)BIO_reset(out);
    }

    // The reason for a failed handshake or read, in the session's own words where
    // the certificate check or the protocol version is the cause.
    std::string Reason() const {
        switch (SSL_get_verify_result(ssl)) {
            case X509_V_OK: break;
            case X509_V_ERR_CERT_HAS_EXPIRED: return kExpired;
            case X509_V_ERR_HOSTNAME_MISMATCH:
            case X509_V_ERR_IP_ADDRESS_MISMATCH: return kWrongHost;
            case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT: return kSelfSigned;
            case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
            case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
            case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            case X509_V_ERR_CERT_UNTRUSTED: return kUntrusted;
            default: return std::string("certificate refused: ") + X509_verify_cert_error_string(SSL_get_verify_result(ssl));
        }
        const unsigned long e = ERR_peek_error();
        switch (ERR_GET_REASON(e)) {
            case SSL_R_UNSUPPORTED_PROTOCOL:
            case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
            case SSL_R_NO_PROTOCOLS_AVAILABLE: return kOldProtocol;
            default: break;
        }
        if (e != 0) {
            char text[256];
            ERR_error_string_n(e, text, sizeof text);
            return std::string("secure connection failed: ") + text;
        }
        return "secure connection failed: the server ended the handshake";
    }
};

namespace {

// Whether a folder holds certificates under the names of their subjects' hashes
// ("1a2b3c4d.0"), as c_rehash and update-ca-certificates leave them.
bool HoldsHashedNames(const char* folder) {
    DIR* d = opendir(folder);
    if (!d) return false;
    bool found = false;
    while (const dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (std::strlen(n) < 10 || n[8] != '.' || n[9] < '0' || n[9] > '9') continue;
        if (std::strspn(n, "0123456789abcdef") == 8) {
            found = true;
            break;
        }
    }
    closedir(d);
    return found;
}

// The system's trusted roots, at OpenSSL's default places. Where the default
// folder holds them under their hashes, only the roots a chain asks for are read
// from it; loading the whole bundle file up front costs more than a megabyte of
// memory for the one certificate that is used. SSL_CERT_FILE, or a folder
// without hashed names, takes the default paths as they are.
bool TrustSystemRoots(SSL_CTX* ctx) {
    const char* dir = std::getenv(X509_get_default_cert_dir_env());
    if (!dir) dir = X509_get_default_cert_dir();
    if (!std::getenv(X509_get_default_cert_file_env()) && std::strchr(dir, ':') == nullptr &&
        HoldsHashedNames(dir))
        return SSL_CTX_load_verify_dir(ctx, dir) == 1;
    return SSL_CTX_set_default_verify_paths(ctx) == 1;
}

}  // namespace

TlsClient::TlsClient(const std::string& host, const std::string& caFile) : impl_(std::make_unique<Impl>()) {
    Impl& s = *impl_;
    s.ctx = SSL_CTX_new(TLS_client_method());
    if (!s.ctx || !SSL_CTX_set_min_proto_version(s.ctx, TLS1_2_VERSION) || !TrustSystemRoots(s.ctx)) {
        s.Fail("secure connections are not available");
        return;
    }
    if (!caFile.empty() && SSL_CTX_load_verify_locations(s.ctx, caFile.c_str(), nullptr) != 1) {
        s.Fail("the certificate file " + caFile + " cannot be read");
        return;
    }
    SSL_CTX_set_verify(s.ctx, SSL_VERIFY_PEER, nullptr);
    s.ssl = SSL_new(s.ctx);
    s.in = BIO_new(BIO_s_mem());
    s.out = BIO_new(BIO_s_mem());
    if (!s.ssl || !s.in || !s.out) {
        BIO_free(s.in);
        BIO_free(s.out);
        s.in = s.out = nullptr;
        s.Fail("secure connections are not available");
        return;
    }
    SSL_set_bio(s.ssl, s.in, s.out);
    SSL_set_connect_state(s.ssl);
    unsigned char address[16];
    const bool literal = inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
    bool set;
    if (literal) {
        // An address is checked against the certificate's addresses, and is no
        // server name to indicate.
        set = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(s.ssl), host.c_str()) == 1;
    } else {
        set = SSL_set_tlsext_host_name(s.ssl, host.c_str()) == 1 && SSL_set1_host(s.ssl, host.c_str()) == 1;
        X509_VERIFY_PARAM_set_hostflags(SSL_get0_param(s.ssl), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    }
    if (!set || host.empty()) s.Fail(kWrongHost);
}

TlsClient::~TlsClient() = default;

void TlsClient::Received(const std::uint8_t* data, std::size_t n) {
    Impl& s = *impl_;
    if (s.failed || n == 0) return;
    while (n > 0) {
        const int part = n > INT_MAX ? INT_MAX : static_cast<int>(n);
        const int w = BIO_write(s.in, data, part);
        if (w <= 0) {
            s.Fail("secure connection failed: out of memory");
            return;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
}

TlsClient::Step TlsClient::Handshake() {
    Impl& s = *impl_;
    if (s.failed) return Step::Failed;
    const int r = SSL_do_handshake(s.ssl);
    s.Collect();
    if (r == 1) return Step::Ready;
    const int e = SSL_get_error(s.ssl, r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return Step::Pending;
    s.Fail(s.Reason());
    return Step::Failed;
}

bool TlsClient::Seal(const std::uint8_t* data, std::size_t n) {
    Impl& s = *impl_;
    if (s.failed) return false;
    while (n > 0) {
        const int part = n > (1 << 20) ? (1 << 20) : static_cast<int>(n);
        const int w = SSL_write(s.ssl, data, part);
        if (w <= 0) return s.Fail(s.Reason());
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    s.Collect();
    return true;
}

bool TlsClient::Open(std::vector<std::uint8_t>& plain) {
    Impl& s = *impl_;
    if (s.failed) return false;
    for (;;) {
        const std::size_t at = plain.size();
        plain.resize(at + 16384);
        const int r = SSL_read(s.ssl, plain.data() + at, 16384);
        plain.resize(at + (r > 0 ? static_cast<std::size_t>(r) : 0));
        if (r > 0) continue;
        const int e = SSL_get_error(s.ssl, r);
        s.Collect();  // a key update or a session ticket may ask for an answer
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return true;
        if (e == SSL_ERROR_ZERO_RETURN) return true;  // the peer's close_notify
        return s.Fail(s.Reason());
    }
}

std::vector<std::uint8_t>& TlsClient::Outgoing() { return impl_->outgoing; }

const std::string& TlsClient::Problem() const { return impl_->problem; }

}  // namespace plat
