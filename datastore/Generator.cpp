#include "datastore/Generator.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "datastore/Datastore.h"

namespace olbds {

namespace {

// splitmix64: small, fast and the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : m_state(seed) {}
  uint64_t Next() {
    uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  long Below(long n) { return n <= 0 ? 0 : static_cast<long>(Next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t m_state;
};

std::string Name(const char* format, long a, long b = 0) {
  char buf[96];
  std::snprintf(buf, sizeof buf, format, a, b);
  return buf;
}

// One prepared INSERT, bound column by column.
class Insert {
 public:
  Insert(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) m_stmt = nullptr;
  }
  ~Insert() { sqlite3_finalize(m_stmt); }
  Insert(const Insert&) = delete;
  Insert& operator=(const Insert&) = delete;

  bool ok() const { return m_stmt != nullptr; }
  Insert& Text(const std::string& v) {
    sqlite3_bind_text(m_stmt, ++m_col, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Insert& Int(int64_t v) {
    sqlite3_bind_int64(m_stmt, ++m_col, v);
    return *this;
  }
  bool Run() {
    m_col = 0;
    int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    return rc == SQLITE_DONE;
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
  int m_col = 0;
};

const char* const kPolicyTypes[] = {"Standard",           "MS-Windows", "Oracle",
                                    "MS-Exchange-Server", "NDMP",       "VMware"};
const char* const kStatuses[] = {"success", "success", "success", "success", "success",
                                 "success", "Success", "failed",  "fail",    "partial"};
const char* const kLevels[] = {"Full", "Differential Incr", "Cumulative Incr", "Differential Incr",
                               "User Backup"};
const long kMediaServers = 4;
const int64_t kFirstStart = 1704067200;  // 2024-01-01
const int64_t kHistorySeconds = 28 * 86400;

bool Fill(sqlite3* db, const GeneratorOptions& o, std::string* error) {
  Random rnd(o.seed);
  Insert node(db,
              "INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES (?,?,?,?)");
  Insert group(db,
               "INSERT INTO group_config (f_group_name, f_policy_type, f_storage_unit, f_active) "
               "VALUES (?,?,?,1)");
  Insert device(db,
                "INSERT INTO device_config (f_device_host, f_jukebox_name, f_device_name, "
                "f_device_path, f_device_type, f_device_class, f_firmware) VALUES (?,?,?,?,?,?,?)");
  Insert volume(db,
                "INSERT INTO disk_volume_config (f_pool_name, f_path, f_disk_type, f_volume_id, "
                "f_capacity, f_used) VALUES (?,?,?,?,?,?)");
  Insert job(db,
             "INSERT INTO backupjob (f_jobid, f_group_name, f_client_name, f_media_server, "
             "f_storage_unit, f_status, f_level, f_nfiles, f_sizetransferred, f_starttime, "
             "f_endtime, f_errorcode) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
  if (!node.ok() || !group.ok() || !device.ok() || !volume.ok() || !job.ok()) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  auto failed = [&]() {
    *error = sqlite3_errmsg(db);
    return false;
  };

  if (!node.Text("dpa-server").Text("dpa-server.gen.local").Text("DPA Server").Int(212).Run()) {
    return failed();
  }
  for (long i = 1; i <= o.clients; ++i) {
    std::string name = Name("client%06ld", i);
    if (!node.Text(name).Text(name + ".gen.local").Text(name).Int(515).Run()) return failed();
  }

  std::vector<std::string> units;
  for (long p = 1; p <= o.pools; ++p) {
    std::string pool = Name("pool%03ld", p);
    units.push_back(pool);
    for (long v = 1; v <= o.volumesPerPool; ++v) {
      if (!volume.Text(pool)
               .Text(Name("/dpa/pool%03ld/vol%02ld", p, v))
               .Text("AdvancedDisk")
               .Text(Name("pool%03ld_vol%02ld", p, v))
               .Int(int64_t{1} << 40)
               .Int(static_cast<int64_t>(rnd.Below(1L << 30)) << 10)
               .Run()) {
        return failed();
      }
    }
  }
  for (long l = 1; l <= o.libraries; ++l) {
    units.push_back(Name("stu-TLD%03ld", l));
    for (long d = 1; d <= o.drivesPerLibrary; ++d) {
      if (!device.Text(Name("mediasrv%02ld", 1 + l % kMediaServers))
               .Text(Name("TLD%03ld", l))
               .Text(Name("TLD%03ld_drive%02ld", l, d))
               .Text(Name("/dev/tape/lib%03ld/nst%ld", l, d - 1))
               .Text("hcart")
               .Text(d % 2 == 0 ? "LTO-8" : "LTO-7")
               .Text("J4D0")
               .Run()) {
        return failed();
      }
    }
  }
  if (units.empty()) units.push_back("stu-default");

  std::vector<std::string> policies, policyUnits;
  for (long p = 1; p <= o.policies; ++p) {
    std::string name = Name("policy%05ld", p);
    policies.push_back(name);
    policyUnits.push_back(units[static_cast<size_t>(p) % units.size()]);
    if (!node.Text(name).Text(name).Text(name).Int(516).Run() ||
        !group.Text(name).Text(kPolicyTypes[p % 6]).Text(policyUnits.back()).Run()) {
      return failed();
    }
  }
  if (o.jobs == 0) return true;

  // Clients 0 .. clients-1 are client nodes; the retired ones follow.
  const long retired = o.unmappedPercent > 0 ? std::max(1L, o.clients * o.unmappedPercent / 100) : 0;
  auto clientName = [&](long c) {
    return c < o.clients ? Name("client%06ld", c + 1) : Name("retired%06ld", c - o.clients + 1);
  };
  // Client c belongs to the policies member[first[c]] .. member[first[c + 1] - 1].
  std::vector<long> first(1, 0), member;
  if (!o.uniform) {
    const long most = std::min(o.policiesPerClientMax, o.policies);
    const long least = std::min(o.policiesPerClientMin, most);
    for (long c = 0; c < o.clients + retired; ++c) {
      long want = least + rnd.Below(most - least + 1);
      size_t begin = member.size();
      while (static_cast<long>(member.size() - begin) < want) {
        long p = rnd.Below(o.policies);
        if (std::find(member.begin() + static_cast<long>(begin), member.end(), p) == member.end()) {
          member.push_back(p);
        }
      }
      first.push_back(static_cast<long>(member.size()));
    }
  }

  for (long j = 1; j <= o.jobs; ++j) {
    bool retiredJob = retired > 0 && rnd.Below(100) < o.unmappedPercent;
    long c = retiredJob ? o.clients + rnd.Below(retired) : rnd.Below(o.clients);
    long p, server;
    const std::string* unit;
    if (o.uniform) {
      p = rnd.Below(o.policies);
      server = rnd.Below(kMediaServers);
      unit = &units[static_cast<size_t>(rnd.Below(static_cast<long>(units.size())))];
    } else {
      p = member[static_cast<size_t>(first[c] + rnd.Below(first[c + 1] - first[c]))];
      server = c % kMediaServers;
      unit = &policyUnits[static_cast<size_t>(p)];
    }
    int64_t start = kFirstStart + rnd.Below(kHistorySeconds);
    bool failedJob = rnd.Below(10) == 0;
    if (!job.Text(Name("G%09ld", j))
             .Text(policies[static_cast<size_t>(p)])
             .Text(clientName(c))
             .Text(Name("mediasrv%02ld", 1 + server))
             .Text(*unit)
             .Text(kStatuses[rnd.Below(failedJob ? 10 : 7)])
             .Text(kLevels[rnd.Below(5)])
             .Int(rnd.Below(200000))
             .Int(rnd.Below(500000))
             .Int(start)
             .Int(start + 30 + rnd.Below(4 * 3600))
             .Int(failedJob ? 2 + rnd.Below(200) : 0)
             .Run()) {
      return failed();
    }
  }
  return true;
}

// The schema without its indexes, and the indexes: building an index once
// over all rows is much faster than keeping it up to date row by row. Each
// CREATE INDEX of the schema is one line.
void SplitSchema(std::string* tables, std::string* indexes) {
  const std::string schema = kSchemaSql;
  for (size_t pos = 0; pos < schema.size();) {
    size_t nl = schema.find('\n', pos);
    size_t end = nl == std::string::npos ? schema.size() : nl + 1;
    std::string line = schema.substr(pos, end - pos);
    bool index = line.compare(0, 13, "CREATE INDEX ") == 0;
    *tables += index ? "\n" : line;  // errors keep naming the schema's lines
    if (index) *indexes += line;
    pos = end;
  }
}

}  // namespace

bool GenerateDatastore(const GeneratorOptions& o, std::string* error) {
  error->clear();
  if (o.clients < 0 || o.policies < 0 || o.jobs < 0 || o.libraries < 0 || o.pools < 0 ||
      o.drivesPerLibrary < 0 || o.volumesPerPool < 0 || o.unmappedPercent < 0) {
    *error = "counts must not be negative";
    return false;
  }
  if (o.jobs > 0 && (o.clients == 0 || o.policies == 0)) {
    *error = "jobs need at least one client and one policy";
    return false;
  }
  if (o.policiesPerClientMin < 1 || o.policiesPerClientMax < o.policiesPerClientMin ||
      o.policiesPerClientMax > 99) {
    *error = "policies per client must be a range from 1 to at most 99";
    return false;
  }
  if (o.unmappedPercent > 100) {
    *error = "the unmapped share is a percentage";
    return false;
  }
  if (o.clients > 999999 || o.policies > 99999 || o.libraries > 999 || o.pools > 999 ||
      o.drivesPerLibrary > 99 || o.volumesPerPool > 99 || o.jobs > 999999999) {
    *error =
        "too many: at most 999999 clients, 99999 policies, 999999999 jobs, 999 libraries "
        "and pools, 99 drives per library and volumes per pool";
    return false;
  }
  if (!RemoveDatabaseFile(o.out, error)) return false;
  std::string tables, indexes;
  SplitSchema(&tables, &indexes);
  bool ok;
  {
    Database db;
    ok = db.Open(o.out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) &&
         db.Exec(
             "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-262144; BEGIN") &&
         db.ExecScript(tables, "schema.sql");
    if (ok) {
      ok = Fill(db.handle(), o, error) && db.ExecScript(indexes, "schema.sql indexes") &&
           db.Exec("COMMIT");
    }
    if (!ok && error->empty()) *error = db.error();
    if (!ok) *error = o.out + ": " + *error;
  }
  if (!ok) RemoveDatabaseFile(o.out, nullptr);
  return ok;
}

}  // namespace olbds
