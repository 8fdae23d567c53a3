#include "model/AsciiText.h"

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

uint64_t HashIgnoreAsciiCase(std::string_view text) {
  // FNV-1a over the lower-cased bytes.
  uint64_t h = 14695981039346656037ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(LowerAscii(c));
    h *= 1099511628211ull;
  }
  return h;
}
