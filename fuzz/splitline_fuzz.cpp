// SplitLine with the arguments every parser passes (',' and '\\'), and with
// a separator and escape taken from the input. Checks:
//  - a line without escapes splits into exactly its separator-delimited
//    pieces, which join back to the line;
//  - escaping each field and joining them gives a line that splits into the
//    same fields again;
//  - a field vector left over from an earlier line gives the same result as
//    a fresh one;
//  - the parsers' SplitOutputLine, which keeps backslashes as data, gives
//    exactly the comma-separated pieces of the line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "collectors/FileUtils.h"
#include "fuzz/FuzzSupport.h"
#include "host/ForeignCmdExecBase.h"

namespace {

std::string Join(const std::vector<std::string>& fields, char separator, char escape,
                 bool escapeFields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += separator;
    for (char c : fields[i]) {
      if (escapeFields && (c == separator || c == escape)) line += escape;
      line += c;
    }
  }
  return line;
}

void Check(const std::string& line, char separator, char escape) {
  std::vector<std::string> fields;
  CForeignCmdExecBase::SplitLine(line, fields, separator, escape, 0, 0);

  if (line.empty()) {
    OLB_FUZZ_CHECK(fields.empty(), "an empty line gave fields");
    return;
  }
  OLB_FUZZ_CHECK(!fields.empty(), "a non-empty line gave no field");
  size_t total = 0;
  for (const std::string& f : fields) total += f.size();
  OLB_FUZZ_CHECK(total <= line.size(), "the fields hold more than the line");

  if (line.find(escape) == std::string::npos || escape == separator) {
    OLB_FUZZ_CHECK(Join(fields, separator, escape, false) == line,
                   "the fields of a line without escapes do not join back to it");
    size_t separators = 0;
    for (char c : line) separators += c == separator;
    OLB_FUZZ_CHECK(fields.size() == separators + 1, "wrong number of fields");
  }

  if (escape != separator) {
    // Escaped fields that join to an empty line would split into no field.
    std::string rejoined = Join(fields, separator, escape, true);
    if (!rejoined.empty()) {
      std::vector<std::string> again;
      CForeignCmdExecBase::SplitLine(rejoined, again, separator, escape, 0, 0);
      OLB_FUZZ_CHECK(again == fields, "escaped and joined fields do not split back");
    }
  }

  std::vector<std::string> reused = {"left", "over", std::string(100, 'x'), "", "from before"};
  CForeignCmdExecBase::SplitLine(line, reused, separator, escape, 0, 0);
  OLB_FUZZ_CHECK(reused == fields, "a reused field vector gives another result");
}

void CheckOutputLine(const std::string& line) {
  std::vector<std::string> fields;
  SplitOutputLine(line, fields);
  if (line.empty()) {
    OLB_FUZZ_CHECK(fields.empty(), "an empty output line gave fields");
    return;
  }
  OLB_FUZZ_CHECK(Join(fields, ',', '\\', false) == line,
                 "the fields of an output line do not join back to it");
  size_t commas = 0;
  for (char c : line) commas += c == ',';
  OLB_FUZZ_CHECK(fields.size() == commas + 1, "wrong number of output line fields");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  Check(line, ',', '\\');
  CheckOutputLine(line);
  if (size >= 2) {
    Check(line.substr(2), static_cast<char>(data[0]), static_cast<char>(data[1]));
  }
  return 0;
}
