#include "testsupport/TestSupport.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/HxUtil.h"
#include "host/MessageXml.h"
#include "host/Messages.h"

namespace olbtest {

std::string SourceDir() { return OLB_SOURCE_DIR; }
std::string BinaryDir() { return OLB_BINARY_DIR; }
std::string StandInBinDir() { return BinaryDir() + "/standin/bin"; }
std::string OlbHostPath() { return BinaryDir() + "/app/olb-host"; }
std::string DatastoreToolPath() { return BinaryDir() + "/datastore/olb-dpa-db"; }
std::string GeneratorPath() { return BinaryDir() + "/datastore/olb-dpa-gen"; }
std::string SchemaSqlPath() { return SourceDir() + "/datastore/schema.sql"; }
std::string DemoSqlPath() { return SourceDir() + "/datastore/demo.sql"; }

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool CreateDatastore(const std::string& dbPath, const std::vector<std::string>& sqlFiles) {
  std::string cmd = ShellQuote(DatastoreToolPath()) + " " + ShellQuote(dbPath) + " " +
                    ShellQuote(SchemaSqlPath());
  for (const auto& f : sqlFiles) cmd += " " + ShellQuote(f);
  std::string out;
  int rc = RunShell(cmd, &out);
  if (rc != 0) ADD_FAILURE() << "creating datastore failed (" << rc << "): " << out;
  return rc == 0;
}

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/olbtest-XXXXXX";
  std::vector<char> buf(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
  if (mkdtemp(buf.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  m_path = buf.data();
}

TempDir::~TempDir() { RemoveTree(m_path); }

LogCapture::LogCapture() {
  HostEnv::Get().logSink = [this](const LogRecord& r) { m_records.push_back(r); };
}

LogCapture::~LogCapture() { HostEnv::Get().logSink = nullptr; }

size_t LogCapture::Count(const std::string& text) const {
  return static_cast<size_t>(std::count_if(m_records.begin(), m_records.end(),
                                           [&](const LogRecord& r) { return r.text == text; }));
}

bool LogCapture::Contains(const std::string& text) const {
  return std::any_of(m_records.begin(), m_records.end(),
                     [&](const LogRecord& r) { return r.text.find(text) != std::string::npos; });
}

std::string LogCapture::All() const {
  std::string out;
  for (const auto& r : m_records) out += r.context + ": " + r.text + "\n";
  return out;
}

static void Describe(const CWzMessageBase& msg, const std::string& prefix,
                     std::vector<std::string>& out) {
  if (msg.fields().empty()) out.push_back(prefix.empty() ? "{}" : prefix + " = {}");
  for (const CWzMessageBase::Field& f : msg.fields()) {
    const char* name = MessageFieldName(msg.module(), msg.messageType(), f.number);
    std::string path = (prefix.empty() ? "" : prefix + ".") +
                       (name ? std::string(name) : std::to_string(f.number)) + "(" +
                       std::to_string(f.number) + ":" + std::to_string(f.type) + ")";
    switch (f.kind) {
      case CWzMessageBase::Kind::kInt:
        out.push_back(path + " = " + std::to_string(f.intValue));
        break;
      case CWzMessageBase::Kind::kString:
        out.push_back(path + " = \"" + f.stringValue + "\"");
        break;
      case CWzMessageBase::Kind::kObject:
        if (f.object) Describe(*f.object, path, out);
        break;
      case CWzMessageBase::Kind::kList:
        if (!f.list || f.list->Size() == 0) out.push_back(path + " = []");
        for (size_t i = 0; f.list && i < f.list->Size(); ++i) {
          Describe(f.list->At(i), path + "[" + std::to_string(i) + "]", out);
        }
        break;
      case CWzMessageBase::Kind::kIntList: {
        std::string ints;
        for (int v : f.ints) ints += (ints.empty() ? "" : ", ") + std::to_string(v);
        out.push_back(path + " = [" + ints + "]");
        break;
      }
    }
  }
}

std::vector<std::string> DescribeMessage(const CWzMessageBase& msg) {
  std::vector<std::string> out;
  Describe(msg, "", out);
  return out;
}

std::vector<std::string> DescribeDumpedFile(const std::string& path) {
  std::string error;
  CWzMessageBase msg(0, 0);
  if (!ValidateMessageXmlFile(path, SourceDir() + "/host/message.xsd", &error) ||
      !ReadMessageXmlFile(path, msg, &error)) {
    ADD_FAILURE() << path << " does not validate or read: " << error;
    return {};
  }
  return DescribeMessage(msg);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out << text);
}

bool Has(const std::string& s, const std::string& p) { return s.find(p) != std::string::npos; }

int FileMode(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

bool WriteScript(const std::string& path, const std::string& body) {
  return WriteFile(path, "#!/bin/sh\n" + body) && chmod(path.c_str(), 0700) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

int RunShell(const std::string& command, std::string* output) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return -1;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) {
    if (output) output->append(buf, n);
  }
  int status = pclose(p);
  return status == -1 || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
}

static std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

void ExpectGolden(const std::string& expectedPath, const std::string& actual) {
  if (std::getenv("OLB_UPDATE_GOLDEN") != nullptr) {
    EXPECT_TRUE(WriteFile(expectedPath, actual)) << expectedPath;
    return;
  }
  const std::vector<std::string> want = SplitLines(ReadFile(expectedPath)), got = SplitLines(actual);
  for (size_t i = 0; i < want.size() || i < got.size(); ++i) {
    const std::string w = i < want.size() ? want[i] : "<end of file>";
    const std::string g = i < got.size() ? got[i] : "<end of file>";
    if (w != g) {
      ADD_FAILURE() << expectedPath << ":" << i + 1 << ": expected\n  " << w << "\ngot\n  " << g;
      return;
    }
  }
}

void HostFixture::SetUp() {
  HostEnv& env = HostEnv::Get();
  env.Reset();
  mkdir(OutDir().c_str(), 0700);
  mkdir(WorkDir().c_str(), 0700);
  env.outputDir = OutDir();
  env.workDir = WorkDir();
  env.logFile = m_dir.file("debug.log");
  env.debugLevel = 30;
  env.registryFile = m_dir.file("registry.ini");
  const char* path = std::getenv("PATH");
  m_oldPath = path ? path : "";
  setenv("PATH", (StandInBinDir() + ":" + m_oldPath).c_str(), 1);
  unsetenv("OLB_DPA_DATASTORE");
}

void HostFixture::TearDown() {
  setenv("PATH", m_oldPath.c_str(), 1);
  unsetenv("OLB_DPA_DATASTORE");
  HostEnv::Get().Reset();
}

void HostFixture::SetRegistry(const std::string& iniText) {
  ASSERT_TRUE(WriteFile(HostEnv::Get().registryFile, iniText));
}

void HostFixture::UseDatastore(const std::vector<std::string>& sqlFiles) {
  std::string db = m_dir.file("dpa.db");
  ASSERT_TRUE(CreateDatastore(db, sqlFiles));
  setenv("OLB_DPA_DATASTORE", db.c_str(), 1);
}

}  // namespace olbtest
