// A cheap stand-in for the locale's sort keys when records are matched: a
// form of each record, made a byte at a time from a table, that is equal for
// two records exactly when their sort keys are. The table is not assumed
// (ASCII case is not the locale's case: the Turkish dotless i), it is read
// from the locale's own keys and checked against them for every character it
// is given, and a character that fails is refused, so that a record holding
// it is matched by its sort key as before.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace TVNConfigUtil {

// Why the forms agree with the keys: a sort key is made character by
// character, each adding its weights (an element for a letter, digit or
// symbol, two for a ligature such as "ae" or the sharp s, a weight at its
// place for a hyphen or an apostrophe, a change to the element before for a
// combining accent), except where a sort joins adjacent characters into one
// element (the Czech "ch", the Hungarian "cs", the Danish "aa"); a join of
// three or more characters holds a pair that is joined too ("ddz" holds
// "dz"). A text folds when:
// - each of its characters has a key of one element, or only a weight at its
//   place, and folds to the lowest byte with the same key (its other case, or
//   itself), or has a key of two elements and folds to two such characters
//   with its key;
// - no two adjacent characters are joined, nor what they fold to where they
//   meet, nor the two a character folds to: such a pair has the key it has
//   with an ignorable character between, over which no join reaches.
// Then its key is made of the weights of its folded form's characters one by
// one; and as these have keys of their own, two folded forms have equal keys
// only when they are equal. Refused are characters the key ignores (the soft
// hyphen), combining accents and characters of more elements; joined pairs
// are refused where they meet. Nothing folds where a byte is not always a
// character (code pages of several bytes) or no character is ignored, since
// then no pair can be shown apart. Each character and each pair is checked
// once, when a text first holds it.
class RecordFold {
  public:
    explicit RecordFold(LCID locale = LOCALE_USER_DEFAULT);

    // Appends the folded form of `text` to `out` and returns true; returns
    // false, leaving `out` as it was, when `text` holds a refused character
    // or pair.
    bool Append(std::string_view text, std::string& out);
    // The same into memory with room for twice the text's bytes: the folded
    // form's length, or Refused.
    size_t Fold(std::string_view text, char* out);
    static const size_t Refused = static_cast<size_t>(-1);

  private:
    enum class State : unsigned char { Unchecked, Accepted, Refused };
    enum class PairState : unsigned char { Unchecked, Apart, Joined };

    std::string Key(std::string_view text) const;
    bool Checked(unsigned char c);
    bool Admit(unsigned char c);
    bool Apart(unsigned char a, unsigned char b);
    bool Folds(unsigned char previous, unsigned char c);

    LCID locale_;
    char separator_ = 0;                // an ignorable character
    unsigned char folded_[256][2] = {}; // what each folds to; [1] is 0 for one byte
    State state_[256] = {};
    // Each accepted character's folded bytes, the first in the low byte; 0
    // until accepted. What Append reads for each byte.
    unsigned short form_[256] = {};
    std::vector<PairState> pairs_ = std::vector<PairState>(256 * 256); // by first << 8 | second
    // The pairs shown apart, a bit each, so that Append's look at every pair
    // stays in the fastest memory.
    unsigned long long apart_[256 * 256 / 64] = {};
};

} // namespace TVNConfigUtil
