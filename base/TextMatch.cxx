// TextMatch.cxx - the substring search: a scan for the text's rarest byte,
// sixteen bytes at a time, and a folded compare where it is found.
#include "base/TextMatch.h"

#include <stdint.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// How common a byte is in log lines, 0 the most common: letters by their
// order in English text, then digits, blanks and the punctuation of times,
// paths and brackets; any other byte is rare.
int commonness(unsigned char c) {
  static const char kLetters[] = "etaoinsrhldcumfpgwybvkxjqz";
  if (c == ' ') return 40;
  if (c >= 'a' && c <= 'z') return 39 - (int)(strchr(kLetters, c) - kLetters);
  if (c >= '0' && c <= '9') return 30;
  if (strchr("[]/:.-_()\"'=,", c)) return 20;
  return 0;
}

}  // namespace

TextMatch::TextMatch(const char *text) : text_(text ? text : "") {
  if (text_.size() > kMax) text_.resize(kMax);
  lower_ = text_;
  for (char &c : lower_) c = (char)fold((unsigned char)c);
  // The two rarest bytes, at different places.
  int best = 1000, second = 1000;
  for (size_t i = 0; i < lower_.size(); i++) {
    int score = commonness((unsigned char)lower_[i]);
    if (score < best) {
      second = best;
      anchor2_ = anchor_;
      best = score;
      anchor_ = i;
    } else if (score < second) {
      second = score;
      anchor2_ = i;
    }
  }
  if (lower_.size() < 2) anchor2_ = anchor_;
}

namespace {

// The starts, among 16 in a row, where the byte at `offset` from the start is
// `want` (bit 5 forced on for a letter, which folds exactly the capitals onto
// it): one bit per start.
#ifdef __SSE2__
inline unsigned hits_at(const unsigned char *h, size_t offset, unsigned char want) {
  __m128i chunk = _mm_loadu_si128((const __m128i *)(h + offset));
  __m128i force = _mm_set1_epi8(want >= 'a' && want <= 'z' ? 0x20 : 0);
  return (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(chunk, force),
                                                    _mm_set1_epi8((char)want)));
}
#else
inline unsigned hits_at(const unsigned char *h, size_t offset, unsigned char want) {
  unsigned char force = want >= 'a' && want <= 'z' ? 0x20 : 0;
  unsigned bits = 0;
  for (unsigned k = 0; k < 16; k++) bits |= (unsigned)((h[offset + k] | force) == want) << k;
  return bits;
}
#endif

}  // namespace

size_t TextMatch::find(const char *s, size_t len) const {
  size_t m = lower_.size();
  if (m == 0) return 0;
  if (len < m) return npos;
  const unsigned char *n = (const unsigned char *)lower_.data();
  size_t last = len - m;  // the last place a match can start
  // The first match among the sixteen starts from p on (none past `last`):
  // those whose two rarest bytes are in place are compared whole.
  auto block = [&](const unsigned char *h, size_t p) -> size_t {
    unsigned bits = hits_at(h + p, anchor_, n[anchor_]) & hits_at(h + p, anchor2_, n[anchor2_]);
    for (; bits; bits &= bits - 1) {
      size_t at = p + (size_t)__builtin_ctz(bits), j = 0;
      while (j < m && fold(h[at + j]) == n[j]) j++;
      if (j == m && at <= last) return at;
    }
    return npos;
  };
  const unsigned char *h = (const unsigned char *)s;
  if (last < 15) {
    // Fewer than sixteen starts: a copy with room after the text, whose
    // zeros match no byte of it.
    unsigned char pad[16 + kMax] = {};
    memcpy(pad, h, len);
    return block(pad, 0);
  }
  size_t p = 0;
  for (; p + 15 <= last; p += 16)
    if (size_t at = block(h, p); at != npos) return at;
  // The last starts, in a block that overlaps the one before.
  return p <= last ? block(h, last - 15) : npos;
}

bool TextMatch::in_line(const char *line, size_t len, bool piece) const {
  if (piece) return in(line, len);
  if (len < 2) return empty();
  return in(line + 2, len - 2);
}
