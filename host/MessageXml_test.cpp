// The XML form of a message (its exact text is pinned by the golden run):
// validity against the schema, the round trip of every byte string, and the
// reader's refusal of anything that is not the form.
#include "host/MessageXml.h"

#include <climits>
#include <cstdio>
#include <random>
#include <sstream>

#include "host/Messages.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

#define IDS kWzMsgId1, kWzMsgId2

namespace {

std::string Xsd() { return olbtest::SourceDir() + "/host/message.xsd"; }

// Writes `msg` to a file, validates the file and reads it back; the file's text.
std::string ExpectValidRoundTrip(const CWzMessageBase& msg) {
  olbtest::TempDir dir;
  std::string path = dir.file("msg.xml"), error;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_TRUE(WriteMessageXmlFile(msg, f));
  std::fclose(f);
  EXPECT_TRUE(ValidateMessageXmlFile(path, Xsd(), &error)) << error;
  CWzMessageBase back(0, 0);
  EXPECT_TRUE(ReadMessageXmlFile(path, back, &error)) << error;
  EXPECT_TRUE(back == msg);
  return olbtest::ReadFile(path);
}

// One message with one string field per entry of `values`.
CWzMessageBase StringsMessage(const std::vector<std::string>& values) {
  CWzMessageBase msg(30, 999);
  for (size_t i = 0; i < values.size(); ++i) msg.setstring(short(i + 1), 2, values[i], IDS);
  return msg;
}

TEST(MessageXmlTest, MessagesComeBackWholeAndWriteErrorsAreReported) {
  ZRC::JobList big;  // past the file writer's flush size: the same bytes as in memory
  for (int i = 0; i < 3000; ++i) {
    ZRC::JobInfo& job = Append(big, ZRC::JobList::jobs);
    SetField(*Object(job, ZRC::JobInfo::subclient), SubclientEntity::clientName, "c <1> & co");
    SetField(*Object(*Object(job, ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail),
             ZRC::JobDetail::duration, -2147483648LL);
  }
  std::string expected;
  WriteMessageXml(big, expected);
  ASSERT_GT(expected.size(), 2u << 20);
  EXPECT_TRUE(ExpectValidRoundTrip(big) == expected);
  CWzMessageBase extremes(-1, INT_MAX);
  extremes.setint64(SHRT_MIN, SHRT_MAX, LLONG_MIN, IDS);
  extremes.setint64(-1, -1, LLONG_MAX, IDS);
  extremes.getlistint(2, 2, IDS, true)->assign({INT_MIN, INT_MAX});
  extremes.getlistint(3, 3, IDS, true);
  extremes.addGenericList(4, 4);
  ExpectValidRoundTrip(extremes);
  std::string error;  // a document that does not validate says why
  EXPECT_FALSE(ValidateMessageXmlFile(Xsd(), Xsd(), &error) || error.empty());
  // Reading replaces what the target held.
  ASSERT_TRUE(ReadMessageXml("<message module='32' type='11'/>", big, &error)) << error;
  EXPECT_TRUE(big.fields().empty());

  // No file, a full disk (the message stays in the buffer until the end), a read-only file.
  for (std::FILE* f : std::vector<std::FILE*>{nullptr, std::fopen("/dev/full", "wb"),
                                              std::fopen(Xsd().c_str(), "rb")}) {
    EXPECT_FALSE(WriteMessageXmlFile(extremes, f));
    if (f) std::fclose(f);
  }
}

TEST(MessageXmlTest, EveryByteStringComesBackExactly) {
  // Blanks, line ends, markup, backslashes, valid UTF-8; then U+FFFE and U+FFFF,
  // surrogates, overlong forms, past U+10FFFF, cut short; NUL and controls.
  // clang-format off
  std::vector<std::string> values = {"", "  leading and trailing  ", " \t\n ",
      "line1\r\nline2\rline3\n", "]]> <![CDATA[ x ]]> &amp; &#0; <!-- c -->",
      "C:\\Program Files\\x41\\\\",
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF \xEF\xBF\xBD",
      "\xEF\xBF\xBE\xEF\xBF\xBF", "\xED\xA0\x80\xED\xBF\xBF",
      "\xC0\xAF\xE0\x80\xAF\xF0\x80\x80\xAF", "\xF4\x90\x80\x80\xF5\xFF\xFE", "\xE2\x82",
      "\xE2\x82\\x41\x80", std::string("nul\0inside\0", 11), "\x1B[31mred\x1B[0m\x08\x0B\x0C"};
  // clang-format on
  std::string all;
  for (int b = 0; b < 256; ++b) {
    values.push_back(std::string(1, char(b)));
    values.push_back("x\\" + std::string(1, char(b)) + "\\x41 ");
    all += char(b);
  }
  values.push_back(all);
  values.push_back(std::string(all.rbegin(), all.rend()));
  ExpectValidRoundTrip(StringsMessage(values));
  // Long strings are written in pieces: characters across piece borders, a
  // late uncarried byte, text that grows sixfold when escaped, noise.
  std::mt19937 rng(7);
  std::string noise(300000, '\0'), euros;
  for (char& c : noise) c = char(rng() % 256);
  for (int i = 0; i < 5000; ++i) euros += "\xE2\x82\xAC";
  std::string text = ExpectValidRoundTrip(
      StringsMessage({std::string(4095, 'a') + "\xC3\xA9" + std::string(5000, 'b'),
                      std::string(4094, 'a') + "\xF0\x9F\x98\x80" + std::string(9000, '\\'),
                      std::string(10000, 'a') + "\x01" + std::string(10, '\\'),
                      euros + "\xE0\xA0\x80\xF0\x90\x80\x80",  // U+0800, U+10000
                      euros.substr(1), std::string(70000, '"'), noise}));
  size_t marked = 0;  // the one with \x01, the one cut inside a character, the noise
  for (size_t at = 0; (at = text.find("escaped", at)) != std::string::npos; ++at) ++marked;
  EXPECT_EQ(marked, 3u);
}

// testdata/unreadable-messages.txt, one document a line (the last three with entities:
// neither internal nor external ones are taken), none, and one nested too deep.
TEST(MessageXmlTest, ReaderRejectsWhatIsNotTheFormAndLeavesTheTarget) {
  const std::string nest = "<message module='1' type='1'><field number='1' type='1' kind='object'>";
  std::string deep;  // refused by the parser, not by the stack
  for (int i = 0; i < 5000; ++i) deep += nest;
  deep += "<message module='1' type='1'/>";
  for (int i = 0; i < 5000; ++i) deep += "</field></message>";
  std::vector<std::string> bad = {"", deep};
  std::istringstream file(
      olbtest::ReadFile(olbtest::SourceDir() + "/host/testdata/unreadable-messages.txt"));
  for (std::string line; std::getline(file, line);) bad.push_back(line);
  ASSERT_GT(bad.size(), 30u);
  for (const std::string& text : bad) {
    ZRC::JobList msg;
    SetField(msg, ZRC::JobList::flags, 3);
    const ZRC::JobList before = msg;
    std::string error;
    EXPECT_FALSE(ReadMessageXml(text, msg, &error)) << text.substr(0, 200);
    EXPECT_TRUE(!error.empty() && msg == before) << text.substr(0, 200);
  }
  CWzMessageBase msg(0, 0);
  std::string error;
  EXPECT_FALSE(ReadMessageXmlFile("/nonexistent/dir/msg.xml", msg, &error));
  EXPECT_NE(error.find("/nonexistent/dir/msg.xml"), std::string::npos) << error;
}

}  // namespace
