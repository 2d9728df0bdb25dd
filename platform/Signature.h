// ECDSA on the curve P-256 (secp256r1) with SHA-256, through the system's own
// library: libcrypto (OpenSSL) on Linux, CNG (bcrypt.dll) on Windows. Nothing
// of the curve's arithmetic is done here. The caller hashes the signed bytes
// (SHA-256) and hands over the 32-byte digest.
//
// Keys and signatures travel in their raw forms, the same on both systems:
//   public key   65 bytes: 0x04, then X and Y (the uncompressed point, big-endian);
//   private key  32 bytes: the secret scalar d (big-endian);
//   signature    64 bytes: r, then s (32 bytes each, big-endian).
#pragma once

#include <cstddef>
#include <string>

namespace plat {

constexpr std::size_t PL_P256_PUBLIC_KEY_SIZE = 65;
constexpr std::size_t PL_P256_PRIVATE_KEY_SIZE = 32;
constexpr std::size_t PL_P256_SIGNATURE_SIZE = 64;
constexpr std::size_t PL_SHA256_DIGEST_SIZE = 32;

// True when `signature` is a valid signature of `digest` by the holder of
// `publicKey`. False for anything else: a malformed key (also a point that is
// not on the curve), a malformed signature, or a signature that does not hold.
bool VerifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature);

// A new key pair from the system's random source; false when none can be made.
bool GenerateP256(std::string& privateKey, std::string& publicKey);

// Signs `digest` with the key pair (both halves: CNG takes the private key with
// its public point). False when the key is malformed.
bool SignP256(const std::string& privateKey, const std::string& publicKey, const std::string& digest,
              std::string& signature);

}  // namespace plat
