#include "fuzz/FuzzSupport.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "host/HostEnv.h"
#include "host/MessageXml.h"

namespace olbfuzz {

namespace {

std::string& Dir() {
  static std::string* dir = new std::string();
  return *dir;
}

void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    if (DIR* d = opendir(path.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") RemoveTree(path + "/" + name);
      }
      closedir(d);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

pid_t g_owner = 0;

void RemoveScratch() {
  if (getpid() == g_owner && !Dir().empty()) RemoveTree(Dir());
}

}  // namespace

void Init() {
  static bool done = false;
  if (done) return;
  done = true;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/olb-fuzz-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) Fail("cannot create a scratch directory");
  Dir() = pattern;
  g_owner = getpid();
  std::atexit(RemoveScratch);
  mkdir((pattern + "/out").c_str(), 0700);
  mkdir((pattern + "/work").c_str(), 0700);

  HostEnv& env = HostEnv::Get();
  env.logFile = "/dev/null";
  env.debugLevel = 30;
  env.outputDir = pattern + "/out";
  env.workDir = pattern + "/work";
  env.registryFile = pattern + "/registry.ini";
}

const std::string& ScratchDir() { return Dir(); }

std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = Dir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Fail("cannot write " + path);
  if (size > 0 && std::fwrite(data, 1, size, f) != size) Fail("cannot write " + path);
  if (std::fclose(f) != 0) Fail("cannot close " + path);
  return path;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void CheckMessageXml(const CWzMessageBase& msg) {
  std::string path = Dir() + "/message.xml";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Fail("cannot create " + path);
  bool written = WriteMessageXmlFile(msg, f);
  if (std::fclose(f) != 0) written = false;
  if (!written) Fail("writing the message failed");

  std::string error;
  if (!ValidateMessageXmlFile(path, OLB_MESSAGE_XSD, &error)) {
    Fail("the written message does not validate: " + error);
  }
  CWzMessageBase back(0, 0);
  if (!ReadMessageXmlFile(path, back, &error)) Fail("the written message does not read: " + error);
  if (back != msg) Fail("the message read back differs from the one written");
  // The string writer gives the same document as the file writer.
  std::string text;
  WriteMessageXml(msg, text);
  CWzMessageBase again(0, 0);
  if (!ReadMessageXml(text, again, &error) || again != msg) {
    Fail("the message written to a string does not read back equal: " + error);
  }
}

uint64_t Input::Bits(int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(Byte()) << (8 * i);
  return v;
}

std::string Input::String(size_t max) {
  size_t n = Byte();
  if (n == 255) n = static_cast<size_t>(Bits(2));  // now and then a long one
  if (n > max) n = max;
  if (n > left()) n = left();
  std::string s(reinterpret_cast<const char*>(m_p), n);
  m_p += n;
  return s;
}

}  // namespace olbfuzz
