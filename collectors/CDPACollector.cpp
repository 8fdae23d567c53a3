// The psql command lines of the _PG collector variants.
#include "collectors/CDPACollector.h"

#include <string>

std::string BuildPsqlCommandLine(const DBContext& context, const std::string& query) {
  std::string line = "\"";
  line += context.getInstallDir();
  line += '\\';
  line += context.getExecutableName();
  line += '"';
  line += " -U ";
  line += context.getUserName();
  line += " -p ";
  line += std::to_string(context.getPort());
  line += " -t -A -F , -c \"";
  line += query;
  line += '"';
  return line;
}

std::string BuildFixedPsqlCommandLine(const DBContext& context, const std::string& query) {
  std::string line = "\"";
  line += context.getInstallDir();
  line += "\\psql.exe\"";
  line += " -U dpa -d apollo -p 9003 -t -A -F , -c \"";
  line += query;
  line += '"';
  return line;
}
