// The SQL*Plus script file and command line of the V58_ORACLE collectors.
#include "collectors/CDPAOracleCollector.h"

#include <unistd.h>

#include "host/EvDebug.h"
#include "host/ForeignCmdExecBase.h"
#include "host/HXFile.h"

namespace {

// Row-only output: columns joined by commas, no headings, no echo, no
// trailing blanks, one row per line. The page size is left as it is: the
// blank line SQL*Plus prints at each page break reaches the parsers as an
// empty line, which they skip.
constexpr const char* kFormatSettings =
    "set colsep , \n"
    "set trimspool on \n"
    "set heading off \n"
    "set echo off \n"
    "set linesize 32767 \n";

// No "N rows selected." line among the rows, and a failing query or script
// ends the tool with a non-zero status, so that the collection fails instead
// of parsing an error message as data.
constexpr const char* kFailureSettings =
    "SET FEEDBACK OFF\n"
    "WHENEVER SQLERROR EXIT FAILURE\n"
    "WHENEVER OSERROR EXIT FAILURE\n";

}  // namespace

CDPAOracleCollector::CDPAOracleCollector()
    : m_scriptFile(CForeignCmdExecBase::GetFileNameForOutput(0)) {}

CDPAOracleCollector::~CDPAOracleCollector() {
  if (!m_scriptFile.empty()) unlink(m_scriptFile.c_str());
}

std::string CDPAOracleCollector::PrepareOracleScriptFile(std::string query) {
  std::string text = kFormatSettings;
  text += kFailureSettings;
  text += query;
  text += ";\n";
  text += "exit\n";

  HXFile file;
  if (!file.open(m_scriptFile, 3, 0, 0)) return "";
  bool written = file.putLine(text, true);
  written = file.close() && written;
  if (!written) {
    unlink(m_scriptFile.c_str());
    return "";
  }
  return m_scriptFile;
}

std::string CDPAOracleCollector::BuildOracleCommandLine(const DBContext& context,
                                                        const std::string& query,
                                                        bool silentTwice) {
  std::string script = PrepareOracleScriptFile(query);
  if (script.empty()) {
    EvDebug log(nullptr);
    log.Debug("CDPAOracleCollector::BuildOracleCommandLine",
              "Could not write the script file [%s]; the query is not run",
              m_scriptFile.c_str());
    return "";
  }
  std::string line = silentTwice ? "sqlplus -S -S " : "sqlplus -S ";
  line += context.getUserName();
  line += '/';
  line += context.getPassword();
  line += " as SYSDBA @\"";
  line += script;
  line += '"';
  return line;
}
