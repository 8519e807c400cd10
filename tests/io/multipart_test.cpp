#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "content_fakes.h"
#include "io/multipart_parser.h"

namespace pexo {
namespace {

using testing_fakes::MemoryFiles;
using testing_fakes::ScriptedCallbacks;
using testing_fakes::StructStore;

const char kType[] = "multipart/form-data; boundary=XyZ";

std::string Field(const std::string& name, const std::string& value) {
  return "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value;
}

std::string Upload(const std::string& name, const std::string& file, const std::string& data) {
  return "Content-Disposition: form-data; name=\"" + name + "\"; filename=\"" + file +
         "\"\r\nContent-Type: text/plain\r\n\r\n" + data;
}

std::string Body(const std::vector<std::string>& parts, const std::string& boundary = "XyZ") {
  std::string body;
  for (const std::string& p : parts) body += "--" + boundary + "\r\n" + p + "\r\n";
  return body + "--" + boundary + "--\r\n";
}

struct Parsed {
  MemoryFiles files;
  ScriptedCallbacks callbacks{&files};
  StructStore store;
  bool ok = false;
  std::string error;

  // Feeds the body in the given pieces (the last piece takes the rest).
  void Parse(const std::string& body, std::vector<size_t> cuts = {}, const char* type = kType,
             int32_t limit = 0) {
    MultipartFormParser parser(&callbacks, &files, &store, type, -1, limit);
    size_t at = 0;
    ok = true;
    cuts.push_back(body.size());
    for (size_t cut : cuts) {
      if (cut < at) cut = at;
      if (cut > body.size()) cut = body.size();
      if (!parser.Feed(body.data() + at, static_cast<int32_t>(cut - at))) {
        ok = false;
        break;
      }
      at = cut;
    }
    if (ok) ok = parser.Finish();
    error = parser.ErrorMessage().c_str();
  }
};

TEST(MultipartBoundaryTest, ParameterForms) {
  struct Case {
    const char* type;
    bool found;
    const char* boundary;
  } cases[] = {
      {"multipart/form-data; boundary=abc", true, "abc"},
      {"multipart/form-data;boundary=abc;charset=x", true, "abc"},
      {"multipart/form-data; charset=x;  BOUNDARY=\"a;b\\\"c\"", true, "a;b\"c"},
      {"multipart/form-data; xboundary=1; boundary=2", true, "2"},
      {"multipart/form-data; name=\"boundary=1\"; boundary=2", true, "2"},
      {"multipart/form-data", false, ""},
      {"boundary=abc", false, ""},
      {"multipart/form-data; boundary", false, ""},
  };
  for (const Case& c : cases) {
    String boundary;
    EXPECT_EQ(MultipartFormParser::ParseBoundary(c.type, -1, &boundary), c.found) << c.type;
    if (c.found) {
      EXPECT_STREQ(boundary.c_str(), c.boundary) << c.type;
    }
  }
}

TEST(MultipartParserTest, DelimiterSplitAtEveryPosition) {
  // Data that starts a delimiter and then breaks off, twice.
  std::string tricky = "1\r\n--Xy\r\n\r\n--XyY\r\r\n-X";
  std::string body = Body({Field("a", "one"), Upload("f", "f.txt", tricky), Field("a", "\r\n-")});
  for (size_t cut = 0; cut <= body.size(); cut++) {
    Parsed run;
    run.callbacks.validate = kUploadCallDone;
    run.Parse(body, {cut});
    ASSERT_TRUE(run.ok) << cut << " " << run.error;
    EXPECT_EQ(run.store.Show("a"), "[one|\r\n-]") << cut;
    ASSERT_EQ(run.callbacks.processed.size(), 1u) << cut;
    EXPECT_EQ(run.callbacks.processed[0].data, tricky) << cut;
    EXPECT_EQ(run.callbacks.processed[0].received, static_cast<int64_t>(tricky.size()));
    EXPECT_TRUE(run.files.contents.empty());
  }
  // One byte at a time.
  std::vector<size_t> cuts;
  for (size_t i = 1; i < body.size(); i++) cuts.push_back(i);
  Parsed run;
  run.callbacks.validate = kUploadCallDone;
  run.Parse(body, cuts);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.callbacks.processed[0].data, tricky);
}

TEST(MultipartParserTest, LargeUploadInServerSizedPieces) {
  for (size_t size : {8100u, 8181u, 8185u, 8190u, 8192u, 20000u}) {
    std::string data;
    for (size_t i = 0; i < size; i++) data += static_cast<char>("\r\n-XyZ"[i % 6]);
    std::string body = Body({Upload("f", "big.bin", data), Field("z", "end")});
    std::vector<size_t> cuts;
    for (size_t at = 8192; at < body.size(); at += 8192) cuts.push_back(at);
    Parsed run;
    run.callbacks.validate = kUploadCallDone;
    run.Parse(body, cuts);
    ASSERT_TRUE(run.ok) << size << run.error;
    ASSERT_EQ(run.callbacks.processed.size(), 1u);
    EXPECT_EQ(run.callbacks.processed[0].data, data) << size;
    EXPECT_EQ(run.store.Show("z"), "end");
  }
}

TEST(MultipartParserTest, UploadLimitedToTenBytes) {
  std::string data = "0123456789abcdefghijklmno";  // 25 bytes
  Parsed run;
  run.callbacks.validate = kUploadCallDone;
  run.callbacks.validate_result = 10;
  run.Parse(Body({Upload("doc", "a.txt", data)}), {60});
  ASSERT_TRUE(run.ok) << run.error;
  ASSERT_EQ(run.callbacks.validated.size(), 1u);
  EXPECT_EQ(run.callbacks.validated[0], "doc|a.txt|text/plain");
  ASSERT_EQ(run.callbacks.processed.size(), 1u);
  const testing_fakes::ProcessCall& call = run.callbacks.processed[0];
  EXPECT_EQ(call.status, "PARTIAL");
  EXPECT_EQ(call.data, "0123456789");
  EXPECT_EQ(call.received, 25);
  EXPECT_EQ(call.field, "doc");
  EXPECT_EQ(call.file, "a.txt");
  EXPECT_EQ(call.type, "text/plain");
  EXPECT_EQ(call.path.rfind("/data/PEXO_FUP", 0), 0u);
  EXPECT_EQ(run.callbacks.events, "gVsgPp");
  EXPECT_EQ(run.files.created, 1);
  EXPECT_EQ(run.files.deleted, 1);
  EXPECT_TRUE(run.files.contents.empty());
}

TEST(MultipartParserTest, UploadStatusesByValidation) {
  struct Case {
    UploadCallResult validate;
    int32_t result;
    const char* status;  // null: no processing call
    int files;
  } cases[] = {
      {kUploadCallUndefined, 0, nullptr, 0},
      {kUploadCallDone, -1, nullptr, 0},
      {kUploadCallDone, 0, "COMPLETE", 1},
      {kUploadCallDone, 25, "COMPLETE", 1},
      {kUploadCallDone, 24, "PARTIAL", 1},
  };
  for (const Case& c : cases) {
    Parsed run;
    run.callbacks.validate = c.validate;
    run.callbacks.validate_result = c.result;
    run.Parse(Body({Upload("up", "x.bin", std::string(25, 'd')), Field("after", "1")}));
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.files.created, c.files);
    EXPECT_TRUE(run.files.contents.empty());
    EXPECT_EQ(run.store.Show("after"), "1");
    // An upload never becomes a form field.
    EXPECT_EQ(run.store.Get("up"), nullptr);
    if (!c.status) {
      EXPECT_TRUE(run.callbacks.processed.empty());
    } else {
      ASSERT_EQ(run.callbacks.processed.size(), 1u);
      EXPECT_EQ(run.callbacks.processed[0].status, c.status);
      EXPECT_EQ(run.callbacks.processed[0].received, 25);
    }
  }
}

TEST(MultipartParserTest, FieldsAndHeaders) {
  std::string body = Body({
      "Content-Disposition: form-data; name=\"empty\"; filename=\"\"\r\n\r\nplain",
      "Content-Type: text / plain ; charset = x\r\nContent-Disposition: form-data;name=\"t\"\r\n\r\nv",
      "Content-Disposition: form-data; name=\"n\"\r\n\r\n",
      Field("a", "1"),
      Field("a", "2"),
  });
  Parsed run;
  run.callbacks.validate = kUploadCallDone;
  run.Parse(body);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.store.Show("empty"), "plain");
  EXPECT_EQ(run.store.Show("t"), "v");
  EXPECT_EQ(run.store.Show("n"), "");
  EXPECT_EQ(run.store.Show("a"), "[1|2]");
  EXPECT_TRUE(run.callbacks.validated.empty());
}

TEST(MultipartParserTest, QuotedFileNameMayHoldSemicolons) {
  Parsed run;
  run.callbacks.validate = kUploadCallDone;
  run.Parse(Body({"Content-Disposition: form-data; name=\"f\"; filename=\"a;b.txt\"\r\n"
                  "Content-Type: image/png\r\n\r\nPNG"}));
  ASSERT_TRUE(run.ok) << run.error;
  ASSERT_EQ(run.callbacks.validated.size(), 1u);
  EXPECT_EQ(run.callbacks.validated[0], "f|a;b.txt|image/png");
}

TEST(MultipartParserTest, LearnedAndQuotedBoundaries) {
  std::string body = Body({Field("k", "v")}, "learn-me");
  Parsed learned;
  learned.Parse(body, {3}, "multipart/form-data");
  ASSERT_TRUE(learned.ok) << learned.error;
  EXPECT_EQ(learned.store.Show("k"), "v");

  Parsed quoted;
  quoted.Parse(Body({Field("k", "w")}, "a\"b"), {}, "multipart/form-data; boundary=\"a\\\"b\"");
  ASSERT_TRUE(quoted.ok) << quoted.error;
  EXPECT_EQ(quoted.store.Show("k"), "w");

  Parsed empty;
  empty.Parse("--XyZ--\r\n");
  EXPECT_TRUE(empty.ok) << empty.error;
  EXPECT_EQ(empty.store.Count(), 0);
}

TEST(MultipartParserTest, EveryMessage) {
  std::string long_text(8193, 'h');
  std::string long_type = "multipart/form-data; boundary=" + long_text;
  struct Case {
    std::string body;
    const char* type;
    int32_t limit;
    const char* message;
  } cases[] = {
      {"preamble\r\n--XyZ\r\n", kType, 0, "Failed to find boundary separator"},
      {"--XyZW\r\n", kType, 0, "Failed to find boundary separator"},
      {"\r\n", kType, 0, "Failed to find boundary separator"},
      {"--XyZ\rx", kType, 0, "Found x when expected LF"},
      {"--XyZ\r\nContent-Type: a\r\r\n", kType, 0, "Found \r when expected LF"},
      {"--XyZ\r\n:x\r\n", kType, 0, "Found : when expecting file header type"},
      {"--XyZ\r\nContent-Disposition\r\n", kType, 0,
       "Premature end of line when expecting file header type"},
      {"--XyZ\r\nContent-Transfer-Encoding: binary\r\n", kType, 0,
       "Premature end of line when expecting file header type"},
      {"--XyZ\r\ncontent-type: text/plain\r\n", kType, 0,
       "Premature end of line when expecting file header type"},
      {"--XyZ\r\n" + Field("a", "1") + "\r\n--XyZx", kType, 0, "Found x when expected CR or '-'"},
      {"--XyZ\r\n" + Field("a", "1") + "\r\n--XyZ-x", kType, 0, "Found x when expected '-'"},
      {Body({Field("a", "1"), Field("b", "2")}), kType, 1, "Maximum number of POST variables exceeded"},
      {"--XyZ\r\n" + long_text + ": x\r\n", kType, 0, "Input data exceeds maximum length"},
      {"--XyZ\r\nContent-Type: " + long_text + "\r\n", kType, 0, "Input data exceeds maximum length"},
      {"--XyZ\r\nContent-Disposition: form-data; name=\"" + long_text + "\"\r\n", kType, 0,
       "Input data exceeds maximum length"},
      {"--XyZ\r\nContent-Disposition: form-data; " + long_text + "=1\r\n", kType, 0,
       "Input data exceeds maximum length"},
      {"--" + long_text + "\r\n", "multipart/form-data", 0, "Input data exceeds maximum length"},
      {"--XyZ\r\n", long_type.c_str(), 0,
       "Input data exceeds maximum length"},
  };
  for (const Case& c : cases) {
    for (size_t cut : {size_t(0), size_t(7), c.body.size()}) {
      Parsed run;
      run.Parse(c.body, {cut}, c.type, c.limit);
      EXPECT_FALSE(run.ok) << c.body.substr(0, 60);
      EXPECT_EQ(run.error, c.message) << c.body.substr(0, 60);
    }
  }
}

TEST(MultipartParserTest, CallbackAndFileFailures) {
  std::string body = Body({Field("a", "1"), Upload("f", "x.txt", "data"), Field("b", "2")});
  struct Case {
    UploadCallResult validate, process;
    bool fail_create, fail_writes;
    const char* message;
    int deleted;
  } cases[] = {
      {kUploadCallFailed, kUploadCallDone, false, false, "Failed call to ValidateFileUpload", 0},
      {kUploadCallDone, kUploadCallFailed, false, false, "Failed call to ProcessFileUpload", 1},
      {kUploadCallDone, kUploadCallDone, true, false, "Failed to create temporary file", 0},
      {kUploadCallDone, kUploadCallDone, false, true, "Failed to write temporary file", 1},
  };
  for (const Case& c : cases) {
    Parsed run;
    run.callbacks.validate = c.validate;
    run.callbacks.process = c.process;
    run.files.fail_create = c.fail_create;
    run.files.fail_writes = c.fail_writes;
    run.Parse(body);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, c.message);
    EXPECT_EQ(run.files.deleted, c.deleted) << c.message;
    EXPECT_TRUE(run.files.contents.empty()) << c.message;
    // Fields before the failure stay set; later ones are never reached.
    EXPECT_EQ(run.store.Show("a"), "1");
    EXPECT_EQ(run.store.Get("b"), nullptr);
  }
}

TEST(MultipartParserTest, UnfinishedBodiesLeaveNoFiles) {
  std::string body = "--XyZ\r\n" + Field("a", "1") + "\r\n--XyZ\r\n" + Upload("f", "x", "partial data");
  // Finish discards the open upload and reports the body incomplete; the
  // unfinished part is not set.
  Parsed run;
  run.callbacks.validate = kUploadCallDone;
  run.Parse(body);
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.error, "Incomplete POST data");
  EXPECT_EQ(run.files.created, 1);
  EXPECT_TRUE(run.files.contents.empty());
  EXPECT_TRUE(run.callbacks.processed.empty());
  EXPECT_EQ(run.store.Show("a"), "1");

  // Cut anywhere before the closing "--": in a part, after a delimiter, in
  // the headers, before the first delimiter.
  std::string whole = Body({Field("a", "1"), Field("b", "last")});
  for (size_t cut : {whole.size() - 4, whole.size() - 5, whole.size() - 10, size_t(20), size_t(3)}) {
    Parsed field;
    field.Parse(whole.substr(0, cut));
    EXPECT_FALSE(field.ok) << cut;
    EXPECT_EQ(field.error, "Incomplete POST data") << cut;
  }

  // Destroyed without Finish (a failed read of the body).
  MemoryFiles files;
  ScriptedCallbacks callbacks(&files);
  callbacks.validate = kUploadCallDone;
  StructStore store;
  {
    MultipartFormParser parser(&callbacks, &files, &store, kType, -1, 0);
    ASSERT_TRUE(parser.Feed(body.data(), static_cast<int32_t>(body.size())));
    EXPECT_EQ(files.contents.size(), 1u);
  }
  EXPECT_TRUE(files.contents.empty());
}

TEST(MultipartParserTest, TextAfterTheFinalDelimiterIsIgnored) {
  Parsed run;
  run.Parse(Body({Field("a", "1")}) + "epilogue\r--XyZ\r\nnot a part");
  EXPECT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.store.Count(), 1);
}

}  // namespace
}  // namespace pexo
