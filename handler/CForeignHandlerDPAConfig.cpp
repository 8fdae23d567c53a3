// The datastore connection settings: their defaults, the registry getters and
// DiscoverConfig, which reads the registry into the handler's m_dbContext.
#include <string>

#include "handler/CForeignHandlerDPA.h"
#include "handler/DBContext.h"
#include "host/EvDebug.h"
#include "host/HXPlatformInfo.h"
#include "model/MessageAccess.h"

const char* olbRegKeySection = "~kRelayUnit";
const char* olbRegKeySection_ABS = "kRelayUnit";

namespace {

// The host's list of integers in the configuration message; DiscoverConfig
// appends 1 to 5 to it.
constexpr IntListFieldId kConfigFlags{{20, 62, "configFlags"}};

// Written to the log in place of the password.
constexpr const char* kMaskedPassword = "********";

bool ReadRegString(const char* key, std::string& value) {
  HXPlatformInfo info;
  std::string read;
  if (info.getString(olbRegKeySection_ABS, key, &read) == 0) return false;
  value = read;
  return true;
}

}  // namespace

DBContext::DBContext()
    : m_dbType(kDBMS1),
      m_userName("dpa"),
      m_password(""),
      m_dbName("apollo"),
      m_installDir("C:\\Program Files\\EMC\\DPA\\services\\datastore\\engine\\bin"),
      m_execName(""),
      m_port(0) {}

bool GetUserName(std::string& value) { return ReadRegString("sDPAUSER", value); }

bool GetPassword(std::string& value) { return ReadRegString("sDPAPASSWORD", value); }

bool GetDBName(std::string& value) { return ReadRegString("sDPADBNAME", value); }

bool GetInstallDir(std::string& value) { return ReadRegString("sDPAINSTALLDIR", value); }

bool GetExecName(std::string& value) { return ReadRegString("sDPAEXENAME", value); }

bool GetDBType(DBContext::DBMS& value) {
  HXPlatformInfo info;
  int read = 0;
  if (!info.getRegInt(olbRegKeySection, "nDPADBTYPE", &read)) return false;
  switch (read) {
    case DBContext::kDBMS0:
    case DBContext::kDBMS1:
    case DBContext::kDBMS2:
      value = static_cast<DBContext::DBMS>(read);
      return true;
    default:
      return false;
  }
}

bool GetDBPort(long& value) {
  HXPlatformInfo info;
  int read = 0;
  if (!info.getRegInt(olbRegKeySection, "nDPADBPORT", &read)) return false;
  value = static_cast<long>(read);
  return true;
}

bool CForeignHandlerDPA::DiscoverConfig(CWzMessageBase* config) {
  static const char* const kContext = "CForeignHandlerDPA::DiscoverConfig";
  std::string user, password, dbName, installDir, execName;
  long port = 0;
  // A missing or out-of-range type keeps the default type.
  DBContext::DBMS type = DBContext::kDBMS1;
  EvDebug log(nullptr);

  if (config != nullptr) {
    for (int value = 1; value <= 5; ++value) {
      std::vector<int>* flags = IntList(*config, kConfigFlags);
      if (flags == nullptr) {
        log.Debug(kContext, "Field [%d] of the configuration message is not a list of integers",
                  kConfigFlags.number);
        break;
      }
      flags->push_back(value);
    }
  } else {
    log.Debug(kContext, "No configuration message given");
  }

  if (GetUserName(user)) log.Debug(kContext, "User name = [%s]", user.c_str());
  if (GetPassword(password)) log.Debug(kContext, "Password = [%s]", kMaskedPassword);
  if (GetDBName(dbName)) log.Debug(kContext, "DBName = [%s]", dbName.c_str());
  if (GetInstallDir(installDir)) log.Debug(kContext, "Install Directory = [%s]", installDir.c_str());
  if (GetExecName(execName)) log.Debug(kContext, "Exec Name = [%s]", execName.c_str());
  if (GetDBType(type)) log.Debug(kContext, "DB Type = [%d]", static_cast<int>(type));
  if (GetDBPort(port)) log.Debug(kContext, "DB Port = [%ld]", port);

  m_dbContext.setUserName(user);
  m_dbContext.setPassword(password);
  m_dbContext.setDBName(dbName);
  m_dbContext.setInstallDir(installDir);
  m_dbContext.setExecName(execName);
  m_dbContext.setDBType(type);
  m_dbContext.setPort(port);
  return true;
}
