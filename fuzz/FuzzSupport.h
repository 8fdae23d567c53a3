// Shared by the fuzz targets: a private scratch directory for the process,
// the fuzz input written to a file there (the parsers read only files), a
// quiet debug log that still formats every line, and checks that abort on
// failure so that libFuzzer records the input.
#ifndef OLB_FUZZ_FUZZ_SUPPORT_H_
#define OLB_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/Message.h"

namespace olbfuzz {

// Once per process: the debug log goes to /dev/null at level 30 (every raw
// line is formatted), output and work directories point into ScratchDir().
void Init();

// A directory of this process, created by Init and removed at exit.
const std::string& ScratchDir();

// Writes `data` to ScratchDir()/`name` and returns the path.
std::string WriteInput(const std::string& name, const uint8_t* data, size_t size);

// Prints `what` and aborts.
[[noreturn]] void Fail(const std::string& what);
#define OLB_FUZZ_CHECK(cond, what) \
  do {                             \
    if (!(cond)) ::olbfuzz::Fail(what); \
  } while (0)

// Writes `msg` as an XML file, validates it against host/message.xsd and
// reads it back; aborts unless it is valid and reads back equal.
void CheckMessageXml(const CWzMessageBase& msg);

// Reads bytes off the front of a fuzz input.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_p(data), m_end(data + size) {}
  bool empty() const { return m_p == m_end; }
  size_t left() const { return static_cast<size_t>(m_end - m_p); }
  uint8_t Byte() { return m_p < m_end ? *m_p++ : 0; }
  // 2, 4 or 8 bytes, little-endian; missing bytes read as 0.
  uint64_t Bits(int bytes);
  // A string of up to `max` bytes: its length first, then its bytes.
  std::string String(size_t max);

 private:
  const uint8_t* m_p;
  const uint8_t* m_end;
};

}  // namespace olbfuzz

#endif  // OLB_FUZZ_FUZZ_SUPPORT_H_
