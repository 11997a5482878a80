// URL-safe Base64 and percent coding: exact encodings, refusals, and every buffer bound.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/zvstd/url_coding.h"

namespace {

TEST(Base64Url, EncodesAndDecodesEveryTailLength) {
  struct Row {
    std::string plain;
    const char* encoded;
  } rows[] = {
      {"", ""},           {"f", "Zg"},          {"fo", "Zm8"},        {"foo", "Zm9v"},
      {"alarm1.wav", "YWxhcm0xLndhdg"},         {"\xfb\xff\xbf", "-_-_"}, {std::string("\0\1", 2), "AAE"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.encoded);
    char out[64];
    EXPECT_EQ(base64EncodeUrl(r.plain.data(), r.plain.size(), out, sizeof out), static_cast<int>(strlen(r.encoded)));
    EXPECT_STREQ(out, r.encoded);
    unsigned char back[64];
    EXPECT_EQ(base64DecodeUrl(r.encoded, strlen(r.encoded), back, sizeof back), static_cast<int>(r.plain.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), r.plain.size()), r.plain);
    EXPECT_EQ(back[r.plain.size()], '\0');
  }
  unsigned char back[8];
  EXPECT_EQ(base64DecodeUrl("Zm8=", 4, back, sizeof back), 2) << "padding is accepted";
  EXPECT_EQ(base64DecodeUrl("Zg==", 4, back, sizeof back), 1);
}

// Every character class's first and last character, both ways.
TEST(UrlCoding, EveryAlphabetEdge) {
  unsigned char back[300];
  EXPECT_EQ(base64DecodeUrl("AZaz09-_", 8, back, sizeof back), 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 6), "\x01\x96\xb3\xd3\xdf\xbf");
  unsigned char every[256];
  for (int i = 0; i < 256; ++i) every[i] = static_cast<unsigned char>(i);
  char encoded[400];
  ASSERT_EQ(base64EncodeUrl(every, sizeof every, encoded, sizeof encoded), 342);
  ASSERT_EQ(base64DecodeUrl(encoded, 342, back, sizeof back), 256);
  EXPECT_EQ(std::memcmp(back, every, sizeof every), 0);
  EXPECT_EQ(base64EncodeUrl("fo", 1, encoded, sizeof encoded), 2) << "only the given length is read";
  EXPECT_STREQ(encoded, "Zg");
  EXPECT_EQ(base64DecodeUrl("Zm8", 3, back, 3), 2) << "two bytes and the NUL fit three";
  EXPECT_EQ(base64DecodeUrl("Zg===", 5, back, sizeof back), -1) << "at most two pads";

  char out[32];
  EXPECT_EQ(get_url_encode("AZaz09-_.~/", out, sizeof out), 11u);
  EXPECT_STREQ(out, "AZaz09-_.~/");
  char text[] = "%41%5a%61%7A%30%39%0a%AF%af%F0%9f";
  EXPECT_EQ(get_url_decode(text), 11u);
  EXPECT_STREQ(text, "AZaz09\n\xaf\xaf\xf0\x9f");
}

TEST(Base64Url, RefusesWhatIsNotAnEncodingAndWhatDoesNotFit) {
  unsigned char out[8] = {'x'};
  for (const char* bad : {"Zm9v+", "Zm9/", "Z", "Zm9vZ", "Zm 9", "===="}) {
    SCOPED_TRACE(bad);
    out[0] = 'x';
    EXPECT_EQ(base64DecodeUrl(bad, strlen(bad), out, sizeof out), -1);
    EXPECT_EQ(out[0], '\0');
  }
  EXPECT_EQ(base64DecodeUrl("Zm9v\0v", 6, out, sizeof out), -1) << "a NUL inside the given length";
  // "Zm9vYmFy" is 6 bytes: 7 bytes of room hold it and its NUL, 6 do not.
  EXPECT_EQ(base64DecodeUrl("Zm9vYmFy", 8, out, 7), 6);
  EXPECT_EQ(base64DecodeUrl("Zm9vYmFy", 8, out, 6), -1);
  // Only the given length is read.
  EXPECT_EQ(base64DecodeUrl("Zm9vYmFy", 4, out, sizeof out), 3);

  char text[5] = "abcd";
  EXPECT_EQ(base64EncodeUrl("foo", 3, text, 5), 4);
  EXPECT_EQ(base64EncodeUrl("foo", 3, text, 4), -1) << "4 characters and the NUL need 5 bytes";
  EXPECT_STREQ(text, "");
  EXPECT_EQ(base64EncodeUrl(nullptr, 0, text, sizeof text), -1);
  // A 127-character encoding fits 128 bytes; the name of 96 bytes needs 128 characters.
  const std::string name95(95, 'n');
  const std::string name96(96, 'n');
  char field[128];
  EXPECT_EQ(base64EncodeUrl(name95.data(), name95.size(), field, sizeof field), 127);
  EXPECT_EQ(base64EncodeUrl(name96.data(), name96.size(), field, sizeof field), -1);
  EXPECT_EQ(base64_url_length(96), 128u);
}

TEST(PercentCoding, EncodesAndCutsAtAWholeEscape) {
  char out[32];
  EXPECT_EQ(get_url_encode("/tmp/diag 1.tar", out, sizeof out), 17u);
  EXPECT_STREQ(out, "/tmp/diag%201.tar");
  EXPECT_EQ(get_url_encode("a\"&%\xff~", out, sizeof out), 14u);
  EXPECT_STREQ(out, "a%22%26%25%FF~");
  // Room for 4 characters: "ab" and the whole "%20", never "%2".
  char small[5] = "zzzz";
  EXPECT_EQ(get_url_encode("ab  ", small, sizeof small), 8u);
  EXPECT_STREQ(small, "ab");
  EXPECT_EQ(get_url_encode("abcdef", small, sizeof small), 6u);
  EXPECT_STREQ(small, "abcd");
  EXPECT_EQ(get_url_encode(nullptr, small, sizeof small), 0u);
  // A component (a password) escapes the slash too.
  EXPECT_EQ(url_encode_component("a/b c", out, sizeof out), 9u);
  EXPECT_STREQ(out, "a%2Fb%20c");
}

TEST(PercentCoding, DecodesOnlyCompletePairsInPlace) {
  struct Row {
    const char* in;
    const char* out;
  } rows[] = {
      {"%2Ftmp%2fdiag.tar", "/tmp/diag.tar"}, {"a%20b", "a b"},   {"100%", "100%"},  {"%4", "%4"},
      {"%G1x", "%G1x"},                       {"%00x", "%00x"},   {"%%41", "%A"},    {"", ""},
      {"%41%", "A%"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.in);
    char text[32];
    std::strcpy(text, r.in);
    EXPECT_EQ(get_url_decode(text), strlen(r.out));
    EXPECT_STREQ(text, r.out);
    char copy[32] = "zz";
    EXPECT_EQ(url_decode_into(r.in, copy, sizeof copy), strlen(r.out));
    EXPECT_STREQ(copy, r.out);
  }
  // Out of place: cut to the buffer, counted in decoded bytes.
  char small[4];
  EXPECT_EQ(url_decode_into("%41%42%43%44", small, sizeof small), 3u);
  EXPECT_STREQ(small, "ABC");
  EXPECT_EQ(url_decode_into(nullptr, small, sizeof small), 0u);
  EXPECT_STREQ(small, "");
  // A '%' at the very end of the buffer: nothing after the terminator is looked at.
  char edge[2] = {'%', '\0'};
  EXPECT_EQ(get_url_decode(edge), 1u);
  EXPECT_EQ(get_url_decode(nullptr), 0u);
}

}  // namespace
