// The case fold that names are matched with where this system matches them itself (the posix
// backend's file names and registry keys): ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic letters. One table of letter pairs serves both directions, so that the file code
// (which folds to upper case) and the registry files (whose order folds to lower case) agree on
// which letters pair up. Every other code point is its own fold.
#pragma once

namespace valise::platform {

// The upper-case letter of a lower-case one (final sigma included); any other code point as it is.
char32_t FoldToUpper(char32_t c);
// The lower-case letter of an upper-case one; any other code point as it is.
char32_t FoldToLower(char32_t c);

}  // namespace valise::platform
