// sqlplus: a stand-in for Oracle SQL*Plus that runs its script against the
// embedded SQLite datastore named by OLB_DPA_DATASTORE.
//
//   sqlplus [-S]... user/password[@connect] [as SYSDBA] [@script [arg...]]
//
// Connection failures and bad credentials are reported with the ORA- lines
// SQL*Plus prints and exit status 1; the script's own EXIT decides the rest.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "datastore/Datastore.h"
#include "datastore/OracleSql.h"
#include "datastore/SqlPlusSession.h"

namespace {

struct Args {
  bool haveLogon = false;
  std::string user;
  std::string password;
  bool haveScript = false;
  std::string script;
  std::vector<std::string> scriptArgs;
};

void Usage() {
  std::printf(
      "\nUsage: sqlplus [ [-S] [-L] ] [ user/password[@connect] [AS SYSDBA|SYSOPER] ] "
      "[ @script [arg ...] ]\n\n");
}

bool IsOption(const std::string& a, const char* full, size_t minLen) {
  std::string name = a.substr(1);
  return name.size() >= minLen && name.size() <= std::char_traits<char>::length(full) &&
         strncasecmp(name.c_str(), full, name.size()) == 0;
}

// 0 to go on, otherwise 1 + the exit status.
int ParseArgs(int argc, char** argv, Args* args) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (!args->haveLogon && a.size() > 1 && a[0] == '-') {
      if (IsOption(a, "SILENT", 1) || IsOption(a, "LOGON", 1) || IsOption(a, "NOLOGINTIME", 3)) {
        continue;
      }
      if (IsOption(a, "VERSION", 1)) {
        std::printf("\nSQL*Plus: Release 12.2.0.1.0 Production (OLB datastore stand-in)\n\n");
        return 1;
      }
      if (IsOption(a, "HELP", 1)) {
        Usage();
        return 1;
      }
      if ((IsOption(a, "RESTRICT", 1) || IsOption(a, "MARKUP", 1)) && i + 1 < argc) {
        ++i;
        continue;
      }
      std::printf("SP2-0306: Invalid option.\n");
      Usage();
      return 2;
    }
    if (a[0] == '@') {
      args->haveScript = true;
      args->script = a.substr(1);
      if (args->script.empty() && i + 1 < argc) args->script = argv[++i];
      for (++i; i < argc; ++i) args->scriptArgs.push_back(argv[i]);
      break;
    }
    if (!args->haveLogon) {
      args->haveLogon = true;
      size_t slash = a.find('/');
      args->user = a.substr(0, slash);
      if (slash != std::string::npos) args->password = a.substr(slash + 1);
      size_t at = args->password.rfind('@');  // connect identifier: one datastore only
      if (at != std::string::npos) args->password.resize(at);
      at = args->user.rfind('@');
      if (at != std::string::npos) args->user.resize(at);
      continue;
    }
    if (strcasecmp(a.c_str(), "as") == 0 && i + 1 < argc) {
      std::string role = argv[++i];
      for (const char* r : {"SYSDBA", "SYSOPER", "SYSASM", "SYSBACKUP", "SYSDG", "SYSKM"}) {
        if (strcasecmp(role.c_str(), r) == 0) role.clear();
      }
      if (role.empty()) continue;
    }
    std::printf("SP2-0306: Invalid option.\n");
    Usage();
    return 2;
  }
  return 0;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The script file: as named, with ".sql" appended as SQL*Plus does, or, when
// blanks in the path were taken for argument separators, the words joined.
std::string FindScript(const Args& args) {
  std::string path = args.script;
  for (size_t k = 0;; ++k) {
    if (IsFile(path)) return path;
    if (IsFile(path + ".sql")) return path + ".sql";
    if (k >= args.scriptArgs.size()) return args.script;
    path += " " + args.scriptArgs[k];
  }
}

int ConnectError(const std::string& why) {
  std::fprintf(stderr, "sqlplus: %s\n", why.c_str());
  std::printf("ERROR:\nORA-12154: TNS:could not resolve the connect identifier specified\n");
  return 1;
}

bool ValidLogon(sqlite3* db, const Args& args) {
  sqlite3_stmt* stmt = nullptr;
  const char* sql = "SELECT 1 FROM main.login WHERE f_user = ?1 COLLATE NOCASE AND f_password = ?2";
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) return false;
  sqlite3_bind_text(stmt, 1, args.user.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(stmt, 2, args.password.c_str(), -1, SQLITE_TRANSIENT);
  bool ok = sqlite3_step(stmt) == SQLITE_ROW;
  sqlite3_finalize(stmt);
  return ok;
}

int Session(const Args& args) {
  const char* env = std::getenv("OLB_DPA_DATASTORE");
  if (env == nullptr || *env == '\0') return ConnectError("OLB_DPA_DATASTORE names no datastore");
  const std::string path = env;
  olbds::Database db;
  if (!IsFile(path) || !db.Open(path, SQLITE_OPEN_READONLY) ||
      !db.Exec("SELECT count(*) FROM main.login")) {
    return ConnectError("cannot open the datastore " + path + ": " +
                        (db.error().empty() ? "no such file" : db.error()));
  }
  if (!args.haveLogon || !ValidLogon(db.handle(), args)) {
    std::printf("ERROR:\nORA-01017: invalid username/password; logon denied\n");
    return 1;
  }
  // Reading through a mapping spares the copies that large job histories
  // would otherwise cost; the mapped pages count as resident, so the mapping
  // stops at 256 MB (about two million jobs) and the rest is read.
  if (!db.Exec("PRAGMA mmap_size=268435456") || !db.AttachDpaSchemas(path) ||
      !olbds::RegisterOracleFunctions(db.handle())) {
    return ConnectError("cannot attach the datastore schemas: " + db.error());
  }

  std::string script;
  if (args.haveScript) {
    std::string file = FindScript(args);
    if (!olbds::ReadTextFile(file, &script)) {
      std::printf("SP2-0310: unable to open file \"%s\"\n", file.c_str());
      return 0;  // then SQL*Plus reads standard input, /dev/null for the host
    }
  } else {
    script.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  }
  return olbds::SqlPlusSession(db.handle(), stdout).Run(script);
}

}  // namespace

int main(int argc, char** argv) {
  static char buffer[1 << 20];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  Args args;
  int parsed = ParseArgs(argc, argv, &args);
  int status = parsed != 0 ? parsed - 1 : Session(args);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "sqlplus: cannot write the output\n");
    return status != 0 ? status : 1;
  }
  return status;
}
