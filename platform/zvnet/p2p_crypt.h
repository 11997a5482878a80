// Encryption of the P2P registration exchange: RSA-2048 with OAEP padding (SHA-1, MGF1 with
// SHA-1, empty label), each block of at most 214 plain bytes sealed into 256 bytes. The device's
// keys reach the connection through a key file (mode 600, made with mkstemp) that the caller
// removes after use.
//
// Built on libcrypto's SHA-1 only, with its own 2048-bit arithmetic: the library's big numbers
// report errors through its error queue, and that alone brings every algorithm of the library
// (its start-up code refers to all of them) into the statically linked device program, twice its
// size and start-up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The bytes that n plain bytes take on the wire once sealed (0 for 0).
size_t rsa_cal_ensize(size_t n);

namespace p2p_keys {
// Hexadecimal RSA numbers: modulus, public exponent, private exponent.
extern const char kDeviceN[], kDeviceE[], kDeviceD[];
extern const char kServiceN[], kServiceE[], kServiceD[];
}  // namespace p2p_keys

// One side's keys: its own modulus and private exponent (to open what it receives) and the
// peer's modulus and public exponent (to seal what it sends).
struct P2pKeys {
  using Number = std::array<uint32_t, 64>;  // 2048 bits, least significant word first
  Number own_n{}, own_d{}, peer_n{}, peer_e{};
  bool own = false;   // own_n and own_d are set
  bool peer = false;  // peer_n and peer_e are set
  bool ready() const { return own && peer; }
};

// Keys from hexadecimal numbers; not ready() when one is not a 2048-bit modulus or not a number.
P2pKeys p2p_keys_from_hex(const char* own_n, const char* own_d, const char* peer_n, const char* peer_e);

// Writes the device's keys (its modulus and private exponent, then the service's modulus and
// public exponent, one hexadecimal number per line) into a new file made from `path_template`
// (mkstemp, ending in "XXXXXX"; mode 600), whose name replaces the template. Returns 0, or -1 (no
// file is left).
int p2p_create_keyfile(char* path_template);

// The device's side of a connection from the key file; not ready() when it cannot be read.
P2pKeys p2p_cli_switch_keyfile(const char* path);

// Seals `size` bytes for the peer into rsa_cal_ensize(size) bytes at *out; false on failure.
bool p2p_seal(const P2pKeys& keys, const void* plain, size_t size, std::string* out);

// Opens sealed bytes (a multiple of 256) into *plain; false when any block does not open.
bool p2p_open(const P2pKeys& keys, const void* sealed, size_t size, std::string* plain);
