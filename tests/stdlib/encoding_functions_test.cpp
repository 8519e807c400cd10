// Encodings and digests: the published test vectors, padding boundaries and
// malformed input.
#include <string>
#include <vector>

#include "std_fixture.h"

namespace pexo {
namespace {

struct Case {
  const char* function;
  std::vector<Variable*> arguments;
  std::string expected;
};

class EncodingFunctionsTest : public StdLibraryTest {
 protected:
  void RunAll(std::vector<Case> cases) {
    for (Case& c : cases) EXPECT_EQ(Run(c.function, c.arguments), c.expected) << c.function;
  }
};

TEST_F(EncodingFunctionsTest, Sha256MatchesTheStandardVectors) {
  const std::string million(1000000, 'a');
  const std::string a55(55, 'a'), a56(56, 'a'), a64(64, 'a');
  RunAll({
      {"sha256", {Text("abc")}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"sha256", {Text("")}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"sha256", {Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")},
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"sha256", {Text(million.c_str())},
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // Where the length field no longer fits the last block.
      {"sha256", {Text(a55.c_str())},
       "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {"sha256", {Text(a56.c_str())},
       "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {"sha256", {Text(a64.c_str())},
       "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  });
}

TEST_F(EncodingFunctionsTest, Md5MatchesTheReferenceVectors) {
  const std::string a55(55, 'a'), a56(56, 'a'), a64(64, 'a');
  RunAll({
      {"md5", {Text("")}, "d41d8cd98f00b204e9800998ecf8427e"},
      {"md5", {Text("abc")}, "900150983cd24fb0d6963f7d28e17f72"},
      {"md5", {Text("message digest")}, "f96b697d7cb7938d525a2f31aaf161d0"},
      {"md5",
       {Text("12345678901234567890123456789012345678901234567890123456789012345678901234567890")},
       "57edf4a22be3c955ac49da2e2107b67a"},
      {"md5", {Text(a55.c_str())}, "ef1772b6dff9a122358552954ad0df65"},
      {"md5", {Text(a56.c_str())}, "3b0c8ac703f828b04c6c197006d17218"},
      {"md5", {Text(a64.c_str())}, "014842d480b571495a4a0363793f7367"},
  });
}

TEST_F(EncodingFunctionsTest, Base64RoundTripsAndRejectsGarbage) {
  RunAll({
      {"base64encode", {Text("")}, ""},
      {"base64encode", {Text("f")}, "Zg=="},
      {"base64encode", {Text("fo")}, "Zm8="},
      {"base64encode", {Text("foo")}, "Zm9v"},
      {"base64encode", {Text("foobar")}, "Zm9vYmFy"},
      {"base64encode", {Text("\xFF\xFE\xFD")}, "//79"},
      {"base64decode", {Text("Zm9vYg==")}, "foob"},
      {"base64decode", {Text("Zm9vYmE")}, "fooba"},  // padding left out
      {"base64decode", {Text("Zm9v\r\nYmFy")}, "foobar"},
      {"base64decode", {Text("")}, ""},
      {"base64decode", {Text("Zm9v!")}, "ERROR: base64decode(): the text is not valid base64"},
      {"base64decode", {Text("Zg==Zg==")}, "ERROR: base64decode(): the text is not valid base64"},
      {"base64decode", {Text("Z")}, "ERROR: base64decode(): the text is not valid base64"},
      {"base64decode", {Text("Zm9v=")}, "ERROR: base64decode(): the text is not valid base64"},
  });
}

TEST_F(EncodingFunctionsTest, UrlEncoding) {
  RunAll({
      {"urlencode", {Text("a b&c=d/\xC3\xA9~")}, "a%20b%26c%3Dd%2F%C3%A9~"},
      {"urlencode", {Text("")}, ""},
      {"urldecode", {Text("a+b%20c%2fd%C3%A9")}, "a b c/d\xC3\xA9"},
      {"urldecode", {Text("100%")}, "100%"},
      {"urldecode", {Text("%zz%4")}, "%zz%4"},
  });
}

TEST_F(EncodingFunctionsTest, HtmlEntitiesUseTheEngineEncoder) {
  std::string encoded = Run("htmlencode", {Text("<a href=\"x\">&</a>")});
  EXPECT_EQ(encoded.find('<'), std::string::npos) << encoded;
  EXPECT_NE(encoded.find("&lt;"), std::string::npos) << encoded;
  EXPECT_NE(encoded.find("&amp;"), std::string::npos) << encoded;
  EXPECT_EQ(Run("htmldecode", {Text(encoded.c_str())}), "<a href=\"x\">&</a>");
  EXPECT_EQ(Run("htmldecode", {Text("&lt;&gt;&amp;")}), "<>&");
  EXPECT_EQ(Run("htmlencode", {Text("")}), "");
}

TEST_F(EncodingFunctionsTest, JsonToAndFromVariables) {
  EXPECT_EQ(Run("jsonencode", {Array({"a", "b"})}), "[\"a\",\"b\"]");
  std::string object = Run("jsonencode", {Struct({{"name", "x\"y"}})});
  EXPECT_EQ(object, "{\"name\":\"x\\\"y\"}");
  EXPECT_EQ(Run("jsondecode", {Text("{\"list\":[\"p\",\"q\"],\"n\":\"v\"}")}),
            "{list=[1=p,2=q],n=v}");
  EXPECT_EQ(Run("jsondecode", {Text(object.c_str())}), "{name=x\"y}");
  std::string error = Run("jsondecode", {Text("{\"a\":")});
  EXPECT_EQ(error.rfind("ERROR: jsondecode(): ", 0), 0u) << error;
  EXPECT_GT(error.size(), std::string("ERROR: jsondecode(): ").size());
}

}  // namespace
}  // namespace pexo
