// DBContext: the datastore connection settings (who logs in, where the SQL
// tool lies, which database, type and port), and the registry getters that
// DiscoverConfig reads them with. The handler keeps one static copy; every
// collector works on its own.
#ifndef OLB_HANDLER_DB_CONTEXT_H_
#define OLB_HANDLER_DB_CONTEXT_H_

#include <string>

class DBContext {
 public:
  enum DBMS : int { kDBMS0 = 0, kDBMS1 = 1, kDBMS2 = 2 };

  DBContext();

  void setDBType(const DBMS& type) { m_dbType = type; }
  void setUserName(const std::string& name) { m_userName = name; }
  void setPassword(const std::string& password) { m_password = password; }
  void setDBName(const std::string& name) { m_dbName = name; }
  void setInstallDir(const std::string& dir) { m_installDir = dir; }
  void setExecName(const std::string& name) { m_execName = name; }
  void setPort(const long& port) { m_port = port; }

  std::string getUserName() const { return m_userName; }
  std::string getPassword() const { return m_password; }
  std::string getInstallDir() const { return m_installDir; }
  std::string getExecutableName() const { return m_execName; }
  long getPort() const { return m_port; }

 private:
  DBMS m_dbType;
  std::string m_userName;
  std::string m_password;
  std::string m_dbName;
  std::string m_installDir;
  std::string m_execName;
  long m_port;
};

// Registry sections: "~kRelayUnit" and "kRelayUnit".
extern const char* olbRegKeySection;
extern const char* olbRegKeySection_ABS;

// One registry value each; true when found (GetDBType: and 0, 1 or 2).
bool GetUserName(std::string& value);
bool GetPassword(std::string& value);
bool GetDBName(std::string& value);
bool GetInstallDir(std::string& value);
bool GetExecName(std::string& value);
bool GetDBType(DBContext::DBMS& value);
bool GetDBPort(long& value);

#endif  // OLB_HANDLER_DB_CONTEXT_H_
