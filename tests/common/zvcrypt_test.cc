// The digests and the block cipher: published vectors, and random inputs against libcrypto.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/aes.h>
#include <openssl/sha.h>

#include <random>
#include <string>
#include <vector>

#include "platform/zvcrypt/aes.h"
#include "platform/zvcrypt/digest.h"

namespace {

template <size_t N>
std::string hex(const std::array<uint8_t, N>& bytes) {
  std::string out;
  char two[3];
  for (uint8_t b : bytes) {
    snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

struct DigestRow {
  std::string input;
  const char* sha1;
  const char* sha256;
};

TEST(ZvCrypt, DigestsGiveThePublishedValues) {
  const DigestRow rows[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
       "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 56 bytes: the length no longer fits the first block.
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const DigestRow& row : rows) {
    EXPECT_EQ(hex(zvcrypt::digest_of<zvcrypt::Sha1>(row.input.data(), row.input.size())), row.sha1);
    EXPECT_EQ(hex(zvcrypt::digest_of<zvcrypt::Sha256>(row.input.data(), row.input.size())), row.sha256);
  }
}

TEST(ZvCrypt, DigestsMatchLibcryptoForEveryLengthAndSplit) {
  std::mt19937 random(7);
  for (size_t length = 0; length < 200; ++length) {
    std::vector<uint8_t> data(length);
    for (uint8_t& b : data) b = static_cast<uint8_t>(random());
    unsigned char sha1[20], sha256[32];
    SHA1(data.data(), length, sha1);
    SHA256(data.data(), length, sha256);
    // Fed in two pieces split at a length-dependent place: the block buffer must carry over.
    const size_t split = length / 3;
    zvcrypt::Sha1 a;
    a.update(data.data(), split);
    a.update(data.data() + split, length - split);
    zvcrypt::Sha256 b;
    b.update(data.data(), split);
    b.update(data.data() + split, length - split);
    ASSERT_EQ(a.finish(), std::to_array(sha1)) << length;
    ASSERT_EQ(b.finish(), std::to_array(sha256)) << length;
  }
}

TEST(ZvCrypt, Aes256BlockGivesThePublishedValue) {
  uint8_t key[32], plain[16], cipher[16], back[16];
  for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i);
  for (int i = 0; i < 16; ++i) plain[i] = static_cast<uint8_t>(0x11 * i);
  const zvcrypt::Aes256 aes(key);
  aes.encrypt_block(plain, cipher);
  std::array<uint8_t, 16> got;
  std::copy(cipher, cipher + 16, got.begin());
  EXPECT_EQ(hex(got), "8ea2b7ca516745bfeafc49904b496089");
  aes.decrypt_block(cipher, back);
  EXPECT_EQ(0, memcmp(back, plain, 16));
}

TEST(ZvCrypt, CbcMatchesLibcryptoBothWays) {
  std::mt19937 random(11);
  for (size_t blocks : {1, 2, 7, 64}) {
    uint8_t key[32], iv[16];
    for (uint8_t& b : key) b = static_cast<uint8_t>(random());
    for (uint8_t& b : iv) b = static_cast<uint8_t>(random());
    std::vector<uint8_t> plain(16 * blocks), ours(plain.size()), theirs(plain.size()), back(plain.size());
    for (uint8_t& b : plain) b = static_cast<uint8_t>(random());
    AES_KEY schedule;
    AES_set_encrypt_key(key, 256, &schedule);
    uint8_t their_iv[16], our_iv[16];
    memcpy(their_iv, iv, 16);
    memcpy(our_iv, iv, 16);
    AES_cbc_encrypt(plain.data(), theirs.data(), plain.size(), &schedule, their_iv, AES_ENCRYPT);
    const zvcrypt::Aes256 aes(key);
    zvcrypt::cbc_encrypt(aes, our_iv, plain.data(), ours.data(), plain.size());
    ASSERT_EQ(ours, theirs) << blocks;
    EXPECT_EQ(0, memcmp(our_iv, their_iv, 16));  // the chain continues from the last block
    memcpy(our_iv, iv, 16);
    zvcrypt::cbc_decrypt(aes, our_iv, theirs.data(), back.data(), back.size());
    ASSERT_EQ(back, plain) << blocks;
  }
}

}  // namespace
