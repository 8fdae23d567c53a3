// The line reader and field splitter shared by every parser.
#include "collectors/FileUtils.h"

#include "host/ForeignCmdExecBase.h"
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

void SplitOutputLine(const std::string& line, std::vector<std::string>& fields) {
  if (line.find('\\') == std::string::npos) {
    CForeignCmdExecBase::SplitLine(line, fields, ',', '\\', 0, 0);
    return;
  }
  std::string escaped;
  escaped.reserve(line.size() + 8);
  for (char c : line) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  CForeignCmdExecBase::SplitLine(escaped, fields, ',', '\\', 0, 0);
}
