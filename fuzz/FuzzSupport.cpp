#include "fuzz/FuzzSupport.h"

#include <dirent.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "host/HxUtil.h"
#include "host/HostEnv.h"
#include "host/MessageXml.h"

namespace olbfuzz {

namespace {

std::string& Dir() {
  static std::string* dir = new std::string();
  return *dir;
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

namespace {

// The schema, parsed once: parsing it for every input would cost more than
// all the rest of a run.
xmlSchema* CachedSchema() {
  static xmlSchema* schema = [] {
    xmlInitParser();
    xmlSchemaParserCtxt* parser = xmlSchemaNewParserCtxt(OLB_MESSAGE_XSD);
    xmlSchema* parsed = parser != nullptr ? xmlSchemaParse(parser) : nullptr;
    if (parser != nullptr) xmlSchemaFreeParserCtxt(parser);
    if (parsed == nullptr) Fail(std::string("cannot load ") + OLB_MESSAGE_XSD);
    return parsed;
  }();
  return schema;
}

void IgnoreError(void*, const char*, ...) {}

bool Validates(const std::string& text, std::string* error) {
  xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "message.xml", nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) {
    *error = "not well-formed";
    return false;
  }
  xmlSchemaValidCtxt* validator = xmlSchemaNewValidCtxt(CachedSchema());
  if (validator == nullptr) Fail("cannot create a schema validator");
  xmlSchemaSetValidErrors(validator, IgnoreError, IgnoreError, nullptr);
  int rc = xmlSchemaValidateDoc(validator, doc);
  xmlSchemaFreeValidCtxt(validator);
  xmlFreeDoc(doc);
  if (rc != 0) *error = "not valid against the schema";
  return rc == 0;
}

}  // namespace

void CheckMessageXml(const CWzMessageBase& msg) {
  std::string text;
  WriteMessageXml(msg, text);
  std::string error;
  if (!Validates(text, &error)) Fail("the written message does not validate: " + error);
  CWzMessageBase back(0, 0);
  if (!ReadMessageXml(text, back, &error)) Fail("the written message does not read: " + error);
  if (back != msg) Fail("the message read back differs from the one written");

  // Now and then the whole way a dump goes: the file writer (its 1 MiB
  // buffer makes it slow under the sanitizers), the host's own validator and
  // its file reader.
  static unsigned long calls = 0;
  if (++calls % 32 != 1) return;
  std::string path = Dir() + "/message.xml";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Fail("cannot create " + path);
  bool written = WriteMessageXmlFile(msg, f);
  if (std::fclose(f) != 0) written = false;
  if (!written) Fail("writing the message file failed");
  if (!ValidateMessageXmlFile(path, OLB_MESSAGE_XSD, &error)) {
    Fail("ValidateMessageXmlFile refuses the message: " + error);
  }
  CWzMessageBase again(0, 0);
  if (!ReadMessageXmlFile(path, again, &error) || again != msg) {
    Fail("ReadMessageXmlFile does not read the message back equal: " + error);
  }
  std::string fromFile;
  if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) fromFile.append(buf, n);
    std::fclose(in);
  }
  if (fromFile != text) Fail("the file writer and the string writer differ");
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
