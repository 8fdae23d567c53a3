// olb-dpa-db: creates a datastore file afresh and runs SQL files into it.
//
//   olb-dpa-db FILE SQLFILE...
//
// The files run in the order given, inside one transaction: on any error the
// message names the file and line, nothing is left behind and the exit
// status is 1 (2 for a wrong command line).
#include <cstdio>
#include <string>

#include "datastore/Datastore.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: olb-dpa-db FILE SQLFILE...\n");
    return 2;
  }
  const std::string dbPath = argv[1];
  auto fail = [&](const std::string& message) {
    std::fprintf(stderr, "olb-dpa-db: %s\n", message.c_str());
    return 1;
  };

  std::string error;
  if (!olbds::RemoveDatabaseFile(dbPath, &error)) return fail(error);
  int status = 0;
  {
    olbds::Database db;
    if (!db.Open(dbPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) {
      return fail("cannot create " + dbPath + ": " + db.error());
    }
    if (!db.Exec("BEGIN")) return fail(dbPath + ": " + db.error());
    for (int i = 2; i < argc && status == 0; ++i) {
      std::string sql;
      if (!olbds::ReadTextFile(argv[i], &sql)) {
        status = fail(std::string("cannot read ") + argv[i]);
      } else if (!db.ExecScript(sql, argv[i])) {
        status = fail(db.error());
      }
    }
    if (status == 0 && !db.Exec("COMMIT")) status = fail(dbPath + ": " + db.error());
  }
  if (status != 0) olbds::RemoveDatabaseFile(dbPath, nullptr);
  return status;
}
