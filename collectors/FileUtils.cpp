// The line reader shared by every parser.
#include "collectors/FileUtils.h"

#include "host/HxUtil.h"

bool ReadLineFromFile(std::ifstream& in, std::string& line) {
  line.clear();
  if (!in.is_open()) return false;
  std::string text;
  if (!std::getline(in, text)) return false;
  TrimInline(text, " ");
  line = text;
  return true;
}
