// CJyString: the utility library's string; built from an int it holds the
// integer's decimal text.
#ifndef OLB_HOST_JY_STRING_H_
#define OLB_HOST_JY_STRING_H_

#include <string>

class CJyString {
 public:
  CJyString() = default;
  explicit CJyString(int value) : m_text(std::to_string(value)) {}
  explicit CJyString(const std::string& text) : m_text(text) {}
  const char* c_str() const { return m_text.c_str(); }

 private:
  std::string m_text;
};

#endif  // OLB_HOST_JY_STRING_H_
