// CForeignCmdExecBase: the host's base of every collector. FetchData runs the
// collector's command line, captures its standard output in a file and hands
// that file to the collector's parser.
//
// Running (CommunicationMethod 1): the line is split into arguments by the
// host, never by a shell (blanks separate; double quotes group and are
// removed); the program is found through PATH and runs with standard input
// from /dev/null, standard output into HostEnv::workDir/_GetFileNameForData()
// (the directory made 0700 when missing, the file created afresh, 0600),
// standard error into the debug log. FetchData is false, without calling the
// parser, when the line is empty, the program cannot start, exits non-zero
// or by a signal, or runs past HostEnv::toolTimeoutSeconds (it is then
// killed and reaped). The reason, with the tool's own error lines (SQL*Plus
// prints them into its output) and its first lines of standard error, is
// logged and kept in HostEnv::lastFailure, passwords masked.
#ifndef OLB_HOST_FOREIGN_CMD_EXEC_BASE_H_
#define OLB_HOST_FOREIGN_CMD_EXEC_BASE_H_

#include <string>
#include <vector>

#include "host/ForeignHandlerBase.h"

typedef int CommunicationMethod;

class OLB_HOST_API CForeignCmdExecBase {
 public:
  explicit CForeignCmdExecBase(CommunicationMethod method);
  virtual ~CForeignCmdExecBase();
  CForeignCmdExecBase(const CForeignCmdExecBase&) = delete;
  CForeignCmdExecBase& operator=(const CForeignCmdExecBase&) = delete;

  bool FetchData(void* out);

  // A new unique scratch path in a private directory (0700) that this
  // process made under HostEnv::workDir; no two calls in a process give the
  // same path. "" (logged) when no such directory can be had.
  static std::string GetFileNameForOutput(int kind);

  // Splits `line` at `separator`; `escape` followed by any character stands
  // for that character (so an escaped separator belongs to the field and an
  // escape at the very end is kept). "a," gives "a" and ""; "" gives no
  // field. c3 and c4 are unused (callers pass NUL).
  static void SplitLine(const std::string& line, std::vector<std::string>& fields,
                        char separator, char escape, char c3, char c4);

 public:
  // The hooks, public so that tests can drive each collector directly.
  virtual std::string _GetCommandLine() = 0;
  virtual bool _ParseData(void* out, const std::vector<std::string>& lines);
  virtual bool _ParseData(void* out, const std::string& path) = 0;
  virtual const char* _GetFileNameForData() const = 0;

 private:
  CommunicationMethod m_method;
};

#endif  // OLB_HOST_FOREIGN_CMD_EXEC_BASE_H_
