#include "platform/case_fold.h"

#include <iterator>

namespace valise::platform {
namespace {

// The upper-case letters from `first` to `last`, every `step`-th one, and the distance to
// their lower-case letters. The dotted and dotless I (U+0130, U+0131) pair with no letter.
struct CaseRange {
  char32_t first;
  char32_t last;
  char32_t step;
  char32_t distance;
};

constexpr CaseRange kCaseRanges[] = {
    {0x41, 0x5A, 1, 0x20},   {0xC0, 0xD6, 1, 0x20},   {0xD8, 0xDE, 1, 0x20},
    {0x100, 0x12E, 2, 1},    {0x132, 0x136, 2, 1},    {0x139, 0x147, 2, 1},
    {0x14A, 0x176, 2, 1},    {0x179, 0x17D, 2, 1},    {0x386, 0x386, 1, 0x26},
    {0x388, 0x38A, 1, 0x25}, {0x38C, 0x38C, 1, 0x40}, {0x38E, 0x38F, 1, 0x3F},
    {0x391, 0x3A1, 1, 0x20}, {0x3A3, 0x3AB, 1, 0x20}, {0x400, 0x40F, 1, 0x50},
    {0x410, 0x42F, 1, 0x20},
};
constexpr char32_t kCapitalYDiaeresis = 0x178;  // pairs with U+00FF, below it
constexpr char32_t kSmallYDiaeresis = 0xFF;
constexpr char32_t kFinalSigma = 0x3C2;  // folds to the capital sigma, U+03A3
constexpr char32_t kCapitalSigma = 0x3A3;

bool InRange(const CaseRange& range, char32_t c) {
  return c >= range.first && c <= range.last && (c - range.first) % range.step == 0;
}

}  // namespace

char32_t FoldToUpper(char32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
  if (c == kSmallYDiaeresis) return kCapitalYDiaeresis;
  if (c == kFinalSigma) return kCapitalSigma;
  for (const CaseRange& range : kCaseRanges) {
    if (c >= range.distance && InRange(range, c - range.distance)) return c - range.distance;
  }
  return c;
}

char32_t FoldToLower(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
  if (c == kCapitalYDiaeresis) return kSmallYDiaeresis;
  for (const CaseRange& range : kCaseRanges) {
    if (InRange(range, c)) return c + range.distance;
  }
  return c;
}

}  // namespace valise::platform
