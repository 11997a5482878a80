#include "platform/zvnet/p2p_crypt.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "platform/zvcrypt/digest.h"

namespace {

constexpr size_t kBlock = 256;                     // RSA-2048
constexpr size_t kHash = zvcrypt::Sha1::kSize;     // 20
constexpr size_t kPlainPerBlock = kBlock - 2 * kHash - 2;  // 214
constexpr size_t kDbSize = kBlock - kHash - 1;     // 235

using Number = P2pKeys::Number;
constexpr size_t kWords = std::tuple_size_v<Number>;

// A hexadecimal number of at most 512 digits; false for anything else.
bool parse_hex(const char* hex, Number* out) {
  *out = Number{};
  const size_t digits = hex != nullptr ? strnlen(hex, 2 * kBlock + 1) : 0;
  if (digits == 0 || digits > 2 * kBlock) return false;
  for (size_t i = 0; i < digits; ++i) {
    const char c = hex[digits - 1 - i];
    const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (v < 0) return false;
    (*out)[i / 8] |= static_cast<uint32_t>(v) << (4 * (i % 8));
  }
  return true;
}

Number from_bytes(const unsigned char* bytes) {  // kBlock bytes, big-endian
  Number n{};
  for (size_t i = 0; i < kBlock; ++i) n[(kBlock - 1 - i) / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * ((kBlock - 1 - i) % 4));
  return n;
}

void to_bytes(const Number& n, unsigned char* bytes) {
  for (size_t i = 0; i < kBlock; ++i) bytes[i] = static_cast<unsigned char>(n[(kBlock - 1 - i) / 4] >> (8 * ((kBlock - 1 - i) % 4)));
}

// a >= b
bool at_least(const Number& a, const Number& b) {
  for (size_t i = kWords; i-- > 0;) {
    if (a[i] != b[i]) return a[i] > b[i];
  }
  return true;
}

// a -= b, modulo 2^2048
void subtract(Number& a, const Number& b) {
  uint64_t borrow = 0;
  for (size_t i = 0; i < kWords; ++i) {
    const uint64_t d = static_cast<uint64_t>(a[i]) - b[i] - borrow;
    a[i] = static_cast<uint32_t>(d);
    borrow = (d >> 63) & 1;
  }
}

// Montgomery arithmetic modulo an odd 2048-bit n (R = 2^2048).
class Modulus {
 public:
  explicit Modulus(const Number& n) : n_(n) {
    // -n^-1 mod 2^32 by Newton's iteration.
    uint32_t inverse = 1;
    for (int i = 0; i < 5; ++i) inverse *= 2 - n[0] * inverse;
    n_prime_ = ~inverse + 1;
    // R^2 mod n: 1 doubled 2 * 2048 times, reduced at every step.
    Number r{};
    r[0] = 1;
    for (size_t i = 0; i < 2 * 32 * kWords; ++i) {
      const uint32_t carry = r[kWords - 1] >> 31;
      for (size_t k = kWords; k-- > 1;) r[k] = (r[k] << 1) | (r[k - 1] >> 31);
      r[0] <<= 1;
      if (carry != 0 || at_least(r, n_)) subtract(r, n_);
    }
    r2_ = r;
  }

  // a * b / R mod n
  Number multiply(const Number& a, const Number& b) const {
    std::array<uint32_t, kWords + 2> t{};
    for (size_t i = 0; i < kWords; ++i) {
      uint64_t carry = 0;
      for (size_t j = 0; j < kWords; ++j) {
        const uint64_t v = static_cast<uint64_t>(a[j]) * b[i] + t[j] + carry;
        t[j] = static_cast<uint32_t>(v);
        carry = v >> 32;
      }
      uint64_t v = static_cast<uint64_t>(t[kWords]) + carry;
      t[kWords] = static_cast<uint32_t>(v);
      t[kWords + 1] = static_cast<uint32_t>(v >> 32);
      const uint32_t m = t[0] * n_prime_;
      carry = (static_cast<uint64_t>(m) * n_[0] + t[0]) >> 32;
      for (size_t j = 1; j < kWords; ++j) {
        const uint64_t w = static_cast<uint64_t>(m) * n_[j] + t[j] + carry;
        t[j - 1] = static_cast<uint32_t>(w);
        carry = w >> 32;
      }
      v = static_cast<uint64_t>(t[kWords]) + carry;
      t[kWords - 1] = static_cast<uint32_t>(v);
      t[kWords] = t[kWords + 1] + static_cast<uint32_t>(v >> 32);
    }
    Number r;
    std::copy_n(t.begin(), kWords, r.begin());
    // One conditional subtraction, made every time (the result of it chosen by mask).
    Number reduced = r;
    subtract(reduced, n_);
    const uint32_t keep = (t[kWords] != 0 || at_least(r, n_)) ? 0xffffffffu : 0u;
    for (size_t i = 0; i < kWords; ++i) r[i] = (reduced[i] & keep) | (r[i] & ~keep);
    return r;
  }

  // x^e mod n. With a secret exponent every bit costs a squaring and a multiplication whatever
  // its value, so the time does not tell its bits; a public one starts at its highest set bit.
  Number power(const Number& x, const Number& e, bool secret) const {
    Number one{};
    one[0] = 1;
    const Number base = multiply(x, r2_);    // x * R
    Number acc = multiply(one, r2_);         // R
    size_t top = 32 * kWords;
    if (!secret) {
      while (top > 0 && ((e[(top - 1) / 32] >> ((top - 1) % 32)) & 1u) == 0) --top;
    }
    for (size_t bit = top; bit-- > 0;) {
      acc = multiply(acc, acc);
      const Number with = multiply(acc, base);
      const uint32_t take = 0u - ((e[bit / 32] >> (bit % 32)) & 1u);
      for (size_t i = 0; i < kWords; ++i) acc[i] = (with[i] & take) | (acc[i] & ~take);
    }
    return multiply(acc, one);  // out of Montgomery form
  }

  const Number& n() const { return n_; }

 private:
  Number n_;
  Number r2_{};
  uint32_t n_prime_ = 0;
};

// x^exponent mod n into `out` (kBlock bytes, big-endian); false when x is not below n.
bool power(const unsigned char* x, const Number& exponent, const Number& n, bool secret, unsigned char* out) {
  const Number base = from_bytes(x);
  if (at_least(base, n)) return false;
  to_bytes(Modulus(n).power(base, exponent, secret), out);
  return true;
}

// SHA-1 of the empty label.
std::array<unsigned char, kHash> label_hash() { return zvcrypt::Sha1().finish(); }

// XORs `mask_length` bytes of MGF1-SHA1(seed) into `out`.
void mgf1_xor(unsigned char* out, size_t mask_length, const unsigned char* seed, size_t seed_length) {
  for (uint32_t counter = 0, done = 0; done < mask_length; ++counter) {
    const unsigned char c[4] = {static_cast<unsigned char>(counter >> 24), static_cast<unsigned char>(counter >> 16),
                                static_cast<unsigned char>(counter >> 8), static_cast<unsigned char>(counter)};
    zvcrypt::Sha1 sha;
    sha.update(seed, seed_length);
    sha.update(c, sizeof c);
    const auto digest = sha.finish();
    for (size_t i = 0; i < kHash && done < mask_length; ++i) out[done++] ^= digest[i];
  }
}

// One block: OAEP encoding of at most kPlainPerBlock bytes, then the peer's public key.
bool seal_block(const P2pKeys& keys, const unsigned char* plain, size_t size, unsigned char* out) {
  unsigned char em[kBlock] = {};
  unsigned char* seed = em + 1;
  unsigned char* db = em + 1 + kHash;
  const auto lhash = label_hash();
  std::memcpy(db, lhash.data(), kHash);
  db[kDbSize - size - 1] = 0x01;
  std::memcpy(db + kDbSize - size, plain, size);
  if (getrandom(seed, kHash, 0) != static_cast<ssize_t>(kHash)) return false;
  mgf1_xor(db, kDbSize, seed, kHash);
  mgf1_xor(seed, kHash, db, kDbSize);
  return power(em, keys.peer_e, keys.peer_n, false, out);
}

// One block: the own private key, then OAEP decoding; false when the padding does not check.
bool open_block(const P2pKeys& keys, const unsigned char* sealed, std::string* plain) {
  unsigned char em[kBlock];
  if (!power(sealed, keys.own_d, keys.own_n, true, em)) return false;
  unsigned char* seed = em + 1;
  unsigned char* db = em + 1 + kHash;
  mgf1_xor(seed, kHash, db, kDbSize);
  mgf1_xor(db, kDbSize, seed, kHash);
  const auto lhash = label_hash();
  // Every check is made before the answer is taken, so its time does not tell which one failed.
  unsigned bad = em[0];
  bad |= static_cast<unsigned>(std::memcmp(db, lhash.data(), kHash) != 0);
  size_t start = 0;
  for (size_t i = kHash; i < kDbSize; ++i) {
    const bool first_one = start == 0 && db[i] == 0x01;
    bad |= static_cast<unsigned>(start == 0 && db[i] != 0x00 && db[i] != 0x01);
    if (first_one) start = i + 1;
  }
  if (bad != 0 || start == 0) return false;
  plain->append(reinterpret_cast<const char*>(db + start), kDbSize - start);
  return true;
}

}  // namespace

size_t rsa_cal_ensize(size_t n) { return (n + kPlainPerBlock - 1) / kPlainPerBlock * kBlock; }

P2pKeys p2p_keys_from_hex(const char* own_n, const char* own_d, const char* peer_n, const char* peer_e) {
  P2pKeys keys;
  // A modulus is odd and fills its 2048 bits.
  auto modulus = [](const char* hex, Number* n) { return parse_hex(hex, n) && ((*n)[0] & 1) != 0 && ((*n)[kWords - 1] >> 31) != 0; };
  keys.own = modulus(own_n, &keys.own_n) && parse_hex(own_d, &keys.own_d);
  keys.peer = modulus(peer_n, &keys.peer_n) && parse_hex(peer_e, &keys.peer_e);
  return keys.ready() ? keys : P2pKeys{};
}

int p2p_create_keyfile(char* path_template) {
  // mkstemp makes the file with mode 600; the umask cannot widen it.
  const int fd = mkstemp(path_template);
  if (fd < 0) return -1;
  const std::string text = std::string(p2p_keys::kDeviceN) + "\n" + p2p_keys::kDeviceD + "\n" + p2p_keys::kServiceN +
                           "\n" + p2p_keys::kServiceE + "\n";
  bool written = fchmod(fd, S_IRUSR | S_IWUSR) == 0;
  for (size_t done = 0; written && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  if (close(fd) != 0 || !written) {
    unlink(path_template);
    return -1;
  }
  return 0;
}

P2pKeys p2p_cli_switch_keyfile(const char* path) {
  FILE* f = path != nullptr ? fopen(path, "re") : nullptr;
  if (f == nullptr) return {};
  // Four numbers of at most 512 hexadecimal digits, one per line.
  std::array<std::array<char, 520>, 4> lines{};
  bool read = true;
  for (auto& line : lines) {
    read = read && fgets(line.data(), static_cast<int>(line.size()), f) != nullptr;
    if (read) line[strcspn(line.data(), "\n")] = '\0';
  }
  fclose(f);
  if (!read) return {};
  return p2p_keys_from_hex(lines[0].data(), lines[1].data(), lines[2].data(), lines[3].data());
}

bool p2p_seal(const P2pKeys& keys, const void* plain, size_t size, std::string* out) {
  out->clear();
  if (!keys.peer) return false;
  const auto* p = static_cast<const unsigned char*>(plain);
  for (size_t at = 0; at < size; at += kPlainPerBlock) {
    unsigned char block[kBlock];
    if (!seal_block(keys, p + at, std::min(kPlainPerBlock, size - at), block)) return false;
    out->append(reinterpret_cast<const char*>(block), sizeof block);
  }
  return true;
}

bool p2p_open(const P2pKeys& keys, const void* sealed, size_t size, std::string* plain) {
  plain->clear();
  if (!keys.own || size % kBlock != 0) return false;
  const auto* p = static_cast<const unsigned char*>(sealed);
  for (size_t at = 0; at < size; at += kBlock) {
    if (!open_block(keys, p + at, plain)) return false;
  }
  return true;
}
