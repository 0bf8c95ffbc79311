// The one case table: both directions pair the same letters, so that the file names (folded to
// upper case) and the registry files (ordered folded to lower case) agree.
#include "platform/case_fold.h"

#include <gtest/gtest.h>

namespace valise::platform {
namespace {

TEST(CaseFold, BothDirectionsPairTheSameLetters) {
  int pairs = 0;
  for (char32_t c = 0; c < 0x10000; ++c) {
    const char32_t lower = FoldToLower(c);
    if (lower != c) {
      ++pairs;
      EXPECT_EQ(FoldToUpper(lower), c) << std::hex << static_cast<unsigned>(c);
      EXPECT_EQ(FoldToLower(lower), lower) << std::hex << static_cast<unsigned>(c);
    }
    const char32_t upper = FoldToUpper(c);
    if (upper != c && c != 0x3C2) {
      EXPECT_EQ(FoldToLower(upper), c) << std::hex << static_cast<unsigned>(c);
    }
  }
  // A-Z, 30 of Latin-1, 62 of Latin Extended-A, 7 + 26 Greek and 48 Cyrillic capitals.
  EXPECT_EQ(pairs, 26 + 30 + 62 + 7 + 26 + 48);
  EXPECT_EQ(FoldToUpper(U'\u00FF'), U'\u0178');  // y with diaeresis pairs across blocks
  EXPECT_EQ(FoldToUpper(U'\u03C2'), U'\u03A3');  // the final sigma folds to the capital
  EXPECT_EQ(FoldToLower(U'\u03A3'), U'\u03C3');
  EXPECT_EQ(FoldToUpper(U'\u0131'), U'\u0131');  // the dotless and dotted I pair with nothing
  EXPECT_EQ(FoldToLower(U'\u0130'), U'\u0130');
  EXPECT_EQ(FoldToUpper(U'\u00DF'), U'\u00DF');
  EXPECT_EQ(FoldToUpper(U'\u00F7'), U'\u00F7');  // the division sign is no letter
}

}  // namespace
}  // namespace valise::platform
