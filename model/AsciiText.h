// Comparing and hashing texts with the case of ASCII letters ignored, as the
// datastore's names are matched everywhere (job ids, clients and groups,
// drives, level and status texts). Other bytes, NUL included, must match
// exactly, and no locale is consulted.
#ifndef OLB_MODEL_ASCII_TEXT_H_
#define OLB_MODEL_ASCII_TEXT_H_

#include <cstdint>
#include <string_view>

inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whole texts equal when ASCII letters are compared without case.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// A hash that texts equal under EqualsIgnoreAsciiCase share.
uint64_t HashIgnoreAsciiCase(std::string_view text);

#endif  // OLB_MODEL_ASCII_TEXT_H_
