// SHA-256 (FIPS 180-4), for the hashes other programs compare ours with.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesk {

// The 32-byte digest of `data`.
std::array<std::uint8_t, 32> sha256(std::string_view data);

// The digest as 64 lower-case hexadecimal digits.
std::string sha256_hex(std::string_view data);

}  // namespace vesk
