// multipart/form-data request bodies.
//
// The delimiter is CR LF "--" + the boundary parameter of the content type,
// or, without one, CR LF + the body's first line. The body must start with
// the delimiter (without its CR LF) and CR LF; each part has header lines
// (only Content-Disposition and Content-Type, names case-sensitive), an
// empty line and data up to the next delimiter, which is found also when it
// is split across pieces. After a delimiter CR LF starts the next part and
// "--" ends the body. Every CR outside part data must be followed by LF.
// Header names, parameter names and values, the content type and a learned
// delimiter are limited to 8192 bytes; form-field values are not limited.
//
// A part whose Content-Disposition has a filename of more than the two
// quotes is a file upload. Pexo_ValidateFileUpload decides: undefined or a
// negative result skips it ("SKIPPED"); 0 or more accepts it ("COMPLETE")
// with that size limit (0 = none), and the data streams into a temporary
// file. Bytes past the limit are counted but not stored ("PARTIAL"). When
// the part ends Pexo_ProcessFileUpload gets the file, which is deleted
// afterwards in every case. Other parts become form fields (accumulating,
// counted against the variable limit). A body must end with the closing
// delimiter; Finish fails one that does not (its last part is not set).
#ifndef PEXO_IO_MULTIPART_PARSER_H_
#define PEXO_IO_MULTIPART_PARSER_H_

#include <cstdint>
#include <vector>

#include "io/content_parser.h"
#include "io/upload.h"

namespace pexo {

class MultipartFormParser : public HTTPContentParser {
 public:
  // Longest header name, parameter, content type or learned delimiter.
  static constexpr int32_t kMaxHeaderText = 8192;

  // `content_type` is the request's whole Content-Type value; `limit` the
  // largest number of form fields (0 = no limit). The interfaces are
  // borrowed.
  MultipartFormParser(UploadCallbacks* callbacks, UploadFileFactory* files,
                      ContentVariableStore* store, const char* content_type,
                      int32_t content_type_length, int32_t limit);
  ~MultipartFormParser() override;

  bool Feed(const char* data, int32_t length) override;
  // Discards an upload still open; a body without its closing delimiter
  // fails as incomplete.
  bool Finish() override;
  void SetError(const char* message) override;

  // The boundary parameter of a content type, if any.
  static bool ParseBoundary(const char* content_type, int32_t length, String* boundary);

 private:
  enum State {
    kLearn, kPreamble, kExpectLF, kHeaderStart, kHeaderName, kContentType,
    kDispositionSkip, kParameterSpace, kParameterName, kParameterValue,
    kBody, kAfterDelimiter, kAfterDash, kDone,
  };
  enum PartKind { kNoPart, kField, kUpload, kSkipped };

  bool Byte(char c);
  bool Learn(char c);
  bool Preamble(char c);
  bool HeaderStart(char c);
  bool HeaderName(char c);
  bool ContentTypeByte(char c);
  bool ParameterByte(char c);
  bool AfterDelimiter(char c);
  bool ExpectLF(char c, State next);
  bool Bounded(String* buffer, char c);
  void EndParameter();
  void StartPart();

  // Data of the current part; returns the offset after the delimiter, or
  // `length` when the piece ends first.
  int32_t ScanBody(const char* data, int32_t at, int32_t length);
  bool Data(const char* data, int32_t length);
  bool BeginBody();
  bool BeginUpload();
  bool EndPart();
  bool EndUpload();
  void DiscardFile();
  void SetDelimiter(const String& delimiter);
  bool Fail(const char* before, char c, const char* after);

  UploadCallbacks* callbacks_;
  UploadFileFactory* files_;
  int32_t limit_;
  int32_t count_ = 0;

  String delimiter_;
  std::vector<int32_t> fallback_;  // KMP failure function of the delimiter
  int32_t matched_ = 0;            // delimiter bytes matched so far
  bool preamble_mismatch_ = false;
  bool boundary_too_long_ = false;

  State state_;
  State after_lf_ = kHeaderStart;
  String header_name_;
  String parameter_name_;
  String parameter_value_;
  bool in_quotes_ = false;

  String field_name_;
  String file_name_;
  String content_type_;
  String value_;
  PartKind part_ = kNoPart;
  const char* status_ = "";
  UploadFile* file_ = nullptr;
  String file_path_;
  int64_t received_ = 0;
  int64_t size_limit_ = 0;
};

}  // namespace pexo

#endif  // PEXO_IO_MULTIPART_PARSER_H_
