// What makes an update trustworthy: the packages' SHA-256 digests named in the update
// description, an Ed25519 signature over the description's exact bytes, checked with a
// public key built into the launcher or named in config.ini, and an optional expiry.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// The public key this launcher was built with (64 hex digits), or "" for none: then only
// the digests a description names are checked.
extern const char* const kBuiltInUpdateKey;

// The key descriptions are checked with: the built-in one when the launcher has one (a
// configuration file beside it cannot replace it), else `configured` (config.ini's
// updateKey), else "" for digests only.
std::string ChooseUpdateKey(const std::string& configured);

// An update description's expiry, "YYYY-MM-DD" (the start of that day) or
// "YYYY-MM-DDTHH:MM:SSZ", in UTC, as seconds since 1970; false for anything else.
bool ParseExpiry(const std::string& text, std::int64_t& secondsSince1970);

// SHA-256 of a file as 64 lower-case hex digits; "" when it cannot be read.
std::string FileSha256(const std::string& path);
// Exactly 64 hex digits, in either case.
bool IsSha256Hex(const std::string& text);
// Two hex digests name the same bytes (case does not matter).
bool SameDigest(const std::string& a, const std::string& b);

// Where a description's signature lives: ".sig" added to the address's path, before any
// query, so a time stamp that defeats caches stays where it was.
std::string SignatureAddress(const std::string& descriptionAddress);

// True when `signatureText` (128 hex digits; blanks and line breaks around them ignored) is
// a valid Ed25519 signature of `message` by the raw public key `publicKeyHex` (64 hex digits).
bool VerifyUpdateSignature(const std::string& publicKeyHex, const std::string& message,
                           const std::string& signatureText);

// Signs `message` with the Ed25519 private key in PEM text. Gives the signature and the
// matching public key in hex, or false with a reason.
bool SignUpdateDescription(const std::string& privateKeyPem, const std::string& message,
                           std::string& signatureHex, std::string& publicKeyHex,
                           std::string& error);

}  // namespace tavrin
