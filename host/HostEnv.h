// HostEnv: the process-wide settings of the host that the stand-in libraries
// read: the registry file, the output and work directories, the debug log,
// its level and the time limit for the SQL tool. The host program sets them
// once at start; tests set and reset them freely.
#ifndef OLB_HOST_HOST_ENV_H_
#define OLB_HOST_HOST_ENV_H_

#include <functional>
#include <string>
#include <vector>

struct LogRecord {
  std::string level;    // "DEBUG", "ERROR", "EVENT" or "L<n>" for DebugLvl
  int debugLevel;       // the level of DebugLvl, -1 for Debug and Error
  std::string context;  // the caller's qualified name
  std::string text;     // the formatted message
};

class HostEnv {
 public:
  static HostEnv& Get();

  std::string registryFile;       // INI-like registry; "" reads as empty
  std::string outputDir = ".";    // where DumpXmlMsgToFile writes
  std::string workDir = ".";      // tool output and scratch files
  std::string logFile;            // debug log; "" writes to standard error
  int debugLevel = 5;             // DebugLvl lines above this are dropped
  int toolTimeoutSeconds = 3600;  // the SQL tool is killed after this

  // Called for every line that passes the level filter, in addition to the
  // log file (tests capture lines with it). Empty: none.
  std::function<void(const LogRecord&)> logSink;

  // Sequence number of the next dumped file (starts at 1).
  unsigned nextDumpSequence = 1;

  // Texts that must never be shown: the registry's passwords, added as they
  // are read. Log lines and failure reasons carry "********" in their place.
  std::vector<std::string> secrets;
  void AddSecret(const std::string& secret);
  // `text` with every secret masked.
  std::string Masked(std::string text) const;

  // Why the last tool run or dump failed, in one line for the host's
  // report (secrets masked); "" until something fails.
  std::string lastFailure;
  // Non-blank lines of output that tools have handed to parsers, in total.
  long long toolRowsRead = 0;
  // Called about every 50 ms while a tool runs and after every dump, so
  // that the host program can show progress. Empty: none.
  std::function<void()> progress;

  // The private scratch directory this process made for its scripts (and
  // the process that made it); Reset removes it when it is empty.
  std::string scratchDir;
  long scratchOwner = 0;

  // Back to the defaults above (closes the log file, removes an empty
  // scratch directory).
  void Reset();

 private:
  HostEnv() = default;
};

#endif  // OLB_HOST_HOST_ENV_H_
