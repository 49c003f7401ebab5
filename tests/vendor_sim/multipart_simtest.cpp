// The multipart parser against the fields of the log upload, and against bodies it must refuse.
#include <gtest/gtest.h>

#include "multipart.h"

namespace vendorsim {
namespace {

const std::string kBoundary = "------------------------d74496d66958873e";
const std::string kType = "multipart/form-data; boundary=" + kBoundary;

std::string Part(const std::string& disposition, const std::string& data,
                 const std::string& extraHeaders = "") {
  return "--" + kBoundary + "\r\nContent-Disposition: form-data; " + disposition + "\r\n" +
         extraHeaders + "\r\n" + data + "\r\n";
}

std::string Close() { return "--" + kBoundary + "--\r\n"; }

// Bytes that look like line ends and dashes but are not a delimiter.
const std::string kArchive = std::string("PK\x03\x04\r\n--\r\n----------\0\xff", 20) + "tail";

std::string UploadBody() {
  return Part("name=\"file\"; filename=\"KerfoSetup_20240131235959123.zip\"", kArchive,
              "Content-Type: application/octet-stream\r\n") +
         Part("name=\"product_id\"", "RERidavaza2900") + Part("name=\"version\"", "1.0.0.1") +
         Part("name=\"catalogue\"", "CrashDmp") + Close();
}

TEST(SimMultipart, ReadsTheLogUploadFields) {
  const MultipartResult result = ParseMultipart(kType, UploadBody());
  ASSERT_TRUE(result.ok) << result.error;
  ASSERT_EQ(result.parts.size(), 4u);
  const MultipartPart* file = result.Find("file");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->hasFilename);
  EXPECT_EQ(file->filename, "KerfoSetup_20240131235959123.zip");
  EXPECT_EQ(file->contentType, "application/octet-stream");
  EXPECT_EQ(file->data, kArchive);
  EXPECT_EQ(result.Find("product_id")->data, "RERidavaza2900");
  EXPECT_FALSE(result.Find("product_id")->hasFilename);
  EXPECT_EQ(result.Find("version")->data, "1.0.0.1");
  EXPECT_EQ(result.Find("catalogue")->data, "CrashDmp");
  EXPECT_EQ(result.Find("missing"), nullptr);
}

TEST(SimMultipart, AcceptsTheFormsSendersAreAllowedToUse) {
  struct Case {
    const char* name;
    std::string type;
    std::string body;
  };
  const std::string empty = Part("name=\"version\"", "");
  const Case cases[] = {
      {"quoted boundary", "multipart/form-data; boundary=\"" + kBoundary + "\"",
       Part("name=\"version\"", "1") + Close()},
      {"upper-case type", "Multipart/Form-Data; charset=utf-8; BOUNDARY=" + kBoundary,
       Part("name=\"version\"", "1") + Close()},
      {"preamble and epilogue", kType,
       "ignored preamble\r\n" + Part("name=\"version\"", "1") + Close() + "epilogue"},
      {"padding after a delimiter", kType,
       "--" + kBoundary + " \t\r\nContent-Disposition: form-data; name=\"version\"\r\n\r\n1\r\n" +
           Close()},
      {"empty value", kType, empty + Close()},
      {"escaped quote in a file name", kType,
       Part("name=\"file\"; filename=\"a\\\"b.zip\"", "x") + Close()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MultipartResult result = ParseMultipart(c.type, c.body);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_FALSE(result.parts.empty());
  }
  EXPECT_EQ(ParseMultipart(kType, Part("name=\"file\"; filename=\"a\\\"b.zip\"", "x") + Close())
                .parts[0]
                .filename,
            "a\"b.zip");
}

TEST(SimMultipart, RefusesBrokenBodies) {
  struct Case {
    const char* name;
    std::string type;
    std::string body;
  };
  std::string many;
  for (int i = 0; i < 65; ++i) many += Part("name=\"f" + std::to_string(i) + "\"", "v");
  const Case cases[] = {
      {"no boundary in the type", "multipart/form-data", UploadBody()},
      {"another type", "application/x-www-form-urlencoded; boundary=" + kBoundary, UploadBody()},
      {"no closing delimiter", kType, Part("name=\"version\"", "1")},
      {"cut inside a part", kType, UploadBody().substr(0, 60)},
      {"no opening delimiter", kType, "version=1"},
      {"part without disposition", kType,
       "--" + kBoundary + "\r\nContent-Type: text/plain\r\n\r\nx\r\n" + Close()},
      {"part without a name", kType, Part("filename=\"a.zip\"", "x") + Close()},
      {"attachment, not form-data", kType,
       "--" + kBoundary + "\r\nContent-Disposition: attachment; name=\"a\"\r\n\r\nx\r\n" + Close()},
      {"header line without colon", kType,
       "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"a\"\r\nbroken\r\n\r\nx\r\n" +
           Close()},
      {"unterminated quote", kType, Part("name=\"version", "1") + Close()},
      {"too many parts", kType, many + Close()},
      {"empty body", kType, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MultipartResult result = ParseMultipart(c.type, c.body);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
  }
}

}  // namespace
}  // namespace vendorsim

namespace vendorsim {
namespace {

// Damaged copies of a good body never crash the parser, and what it accepts stays inside the
// body it was given.
TEST(SimMultipart, SurvivesDamagedBodies) {
  const std::string good = UploadBody();
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string body = good;
    switch (next() % 4) {
      case 0:  // a few bytes changed
        for (int k = 0, n = 1 + next() % 4; k < n; ++k) body[next() % body.size()] = static_cast<char>(next());
        break;
      case 1:  // cut short
        body.resize(next() % body.size());
        break;
      case 2: {  // a slice repeated
        const size_t from = next() % body.size();
        body.insert(next() % body.size(), body.substr(from, next() % 64));
        break;
      }
      default:  // a delimiter-like line dropped in
        body.insert(next() % body.size(), "\r\n--" + kBoundary.substr(0, next() % kBoundary.size()));
    }
    const MultipartResult result = ParseMultipart(kType, body);
    if (!result.ok) {
      EXPECT_FALSE(result.error.empty());
      continue;
    }
    size_t total = 0;
    for (const MultipartPart& part : result.parts) total += part.data.size();
    EXPECT_LE(total, body.size());
  }
}

}  // namespace
}  // namespace vendorsim
