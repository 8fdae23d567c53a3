// The built plug-in: its HxVersion build stamp and the symbols it exports.
#include <elf.h>

#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "testsupport/TestSupport.h"

namespace {

struct Section {
  std::string name;
  unsigned long long flags = 0;
  std::string data;
};

// The sections of a 64-bit little-endian ELF file, read without help.
bool ReadSections(const std::string& image, std::vector<Section>* sections) {
  if (image.size() < sizeof(Elf64_Ehdr) || image.compare(0, 4, ELFMAG) != 0 ||
      image[EI_CLASS] != ELFCLASS64) {
    return false;
  }
  Elf64_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  if (header.e_shentsize != sizeof(Elf64_Shdr) ||
      header.e_shoff + header.e_shnum * sizeof(Elf64_Shdr) > image.size() ||
      header.e_shstrndx >= header.e_shnum) {
    return false;
  }
  std::vector<Elf64_Shdr> headers(header.e_shnum);
  std::memcpy(headers.data(), image.data() + header.e_shoff, headers.size() * sizeof(Elf64_Shdr));
  const Elf64_Shdr& names = headers[header.e_shstrndx];
  for (const Elf64_Shdr& h : headers) {
    Section s;
    if (names.sh_offset + h.sh_name >= image.size()) return false;
    s.name = image.c_str() + names.sh_offset + h.sh_name;
    s.flags = h.sh_flags;
    if (h.sh_type != SHT_NOBITS) {
      if (h.sh_offset + h.sh_size > image.size()) return false;
      s.data = image.substr(h.sh_offset, h.sh_size);
    }
    sections->push_back(s);
  }
  return true;
}

TEST(HxVersionTest, StampIsOneLineInANonLoadedSection) {
  std::vector<Section> sections;
  ASSERT_TRUE(ReadSections(olbtest::ReadFile(OLB_DPA_LIBRARY), &sections)) << OLB_DPA_LIBRARY;
  const Section* stamp = nullptr;
  int count = 0;
  for (const Section& s : sections) {
    if (s.name == "HxVersion") {
      stamp = &s;
      ++count;
    }
  }
  ASSERT_EQ(1, count);
  EXPECT_EQ(0u, stamp->flags & SHF_ALLOC);

  std::smatch m;
  ASSERT_TRUE(std::regex_match(
      stamp->data, m,
      std::regex("(\\d+\\.\\d+\\.\\d+\\.\\d+) (\\d\\d)/(\\d\\d)/\\d\\d (\\d\\d):(\\d\\d):(\\d\\d)\n")))
      << "[" << stamp->data << "]";
  EXPECT_EQ(OLB_PRODUCT_VERSION, m[1].str());
  EXPECT_GE(std::stoi(m[2]), 1);
  EXPECT_LE(std::stoi(m[2]), 12);
  EXPECT_GE(std::stoi(m[3]), 1);
  EXPECT_LE(std::stoi(m[3]), 31);
  EXPECT_LE(std::stoi(m[4]), 23);
  EXPECT_LE(std::stoi(m[5]), 59);
  EXPECT_LE(std::stoi(m[6]), 60);
}

// Instantiations of the standard library's templates (namespace std or
// __gnu_cxx), which keep the library's default visibility.
bool FromStandardLibrary(const std::string& symbol) {
  static const std::regex kStd("_Z(N|NK|ZN|ZNK|TI|TS|TV|GVZN)?(St|Sa|Sb|Ss|9__gnu_cxx).*");
  return std::regex_match(symbol, kStd);
}

// Type information of plain function types, which the undefined-behaviour
// sanitizer's function check emits.
bool FunctionTypeInfo(const std::string& symbol) {
  return symbol.rfind("_ZTIF", 0) == 0 || symbol.rfind("_ZTSF", 0) == 0;
}

TEST(HxVersionTest, ExportsOnlyTheHandlerClass) {
  std::string out;
  ASSERT_EQ(0, olbtest::RunShell(std::string("nm -D --defined-only '") + OLB_DPA_LIBRARY + "'",
                                 &out))
      << out;
  std::vector<std::string> own;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::string symbol = line.substr(line.rfind(' ') + 1);
    if (symbol == "_init" || symbol == "_fini" || symbol == "_edata" || symbol == "_end" ||
        symbol == "__bss_start") {
      continue;  // made by the linker
    }
    if (FromStandardLibrary(symbol) || FunctionTypeInfo(symbol)) continue;
    own.push_back(symbol);
    EXPECT_EQ(0u, symbol.rfind("_Z", 0)) << "plain (factory-like) symbol: " << symbol;
    EXPECT_NE(std::string::npos, symbol.find("18CForeignHandlerDPA")) << symbol;
  }
  auto exported = [&](const char* name) {
    for (const std::string& s : own) {
      if (s.find(name) != std::string::npos) return true;
    }
    return false;
  };
  for (const char* name :
       {"_ZTV18CForeignHandlerDPA", "_ZN18CForeignHandlerDPAC1Ev", "14DiscoverConfig",
        "15DiscoverClients", "12DiscoverJobs", "13DiscoverMedia", "23DiscoverStoragePolicies",
        "11m_dbContextE", "12m_serverName", "13media_job_map", "13AddJobToMedia",
        "15GetJobsForMedia", "19FindClientAndPolicy", "14PopulateOsInfo"}) {
    EXPECT_TRUE(exported(name)) << name;
  }
}

}  // namespace
