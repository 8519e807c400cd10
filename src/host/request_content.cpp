#include "host/request_content.h"

#include <cstdlib>
#include <memory>

#include "host/request_deadlines.h"
#include "host/request_messages.h"
#include "host/request_uploads.h"
#include "values/server_config.h"
#include "host/server_request.h"
#include "io/content_parser_factory.h"
#include "io/hash_content_store.h"
#include "io/urlencoded_parser.h"
#include "values/system_variable_hash.h"
#include "values/variable_hash.h"

namespace pexo {

namespace {

constexpr int32_t kBodyPiece = 8192;
const char kBodyReadFailed[] = "Failed to read POST data";

int ContentFailureStatus(ContentFailure failure) {
  switch (failure) {
    case kContentRefused: return 400;
    case kContentTooLarge: return 413;
    case kContentUnsupported: return 415;
    case kContentServerFault: break;
  }
  return 500;
}

}  // namespace

RequestContent::RequestContent(ServerRequest* request, ServerConfig* config,
                               RequestDeadlines* deadlines, RequestMessages* messages,
                               RequestUploads* uploads)
    : request_(request),
      config_(config),
      deadlines_(deadlines),
      messages_(messages),
      uploads_(uploads) {}

bool RequestContent::ParseQueryString(const String& query, VariableHash* globals) {
  if (query.length() == 0) return true;
  HashContentStore store(globals);
  URLEncodedParser parser(&store, 0);
  if (parser.Feed(query.data(), query.length()) && parser.Finish()) return true;
  messages_->SetFailureStatus(ContentFailureStatus(parser.failure()));
  messages_->WriteMessage(parser.ErrorMessage().data(), parser.ErrorMessage().length());
  return false;
}

bool RequestContent::ReadBody(VariableHash* global_scope, SystemVariableHash* system_scope) {
  String type;
  String length_text;
  if (!request_->GetServerVariable("CONTENT_TYPE", &type)) return true;
  bool chunked = request_->ChunkedBody();
  int64_t declared = kUnknownContentLength;
  if (!chunked) {
    if (!request_->GetServerVariable("CONTENT_LENGTH", &length_text)) return true;
    declared = std::atoll(length_text.c_str());
    if (declared <= 0) return true;
  }
  deadlines_->StartPostTimer();
  std::unique_ptr<char[]> piece(new char[kBodyPiece]);
  int32_t got = 0;
  if (chunked) {
    // An empty chunked body is no body, as a zero length is.
    got = deadlines_->ReadBody(piece.get(), kBodyPiece);
    if (got < 0) return BodyFailed(got);
    if (got == 0) {
      deadlines_->StopPostTimer();
      return true;
    }
  }
  HashContentStore globals(global_scope);
  HashContentStore system(system_scope);
  ContentParserSetup setup;
  setup.globals = &globals;
  setup.system = &system;
  setup.callbacks = uploads_;
  setup.files = uploads_;
  setup.max_post_vars = config_->GetInteger(CFG_MAX_POST_VARS);
  setup.max_unknown_content_length = config_->GetInteger(CFG_MAX_UNKNOWN_CONTENT_LENGTH);
  String error;
  ContentFailure failure = kContentRefused;
  std::unique_ptr<HTTPContentParser> parser(
      MakeContentParser(setup, type.data(), type.length(), declared, &error, &failure));
  if (!parser) return ContentFailed(failure, error);
  int64_t received = 0;
  for (;;) {
    if (got > 0) {
      received += got;
      if (!parser->Feed(piece.get(), got)) {
        return ContentFailed(parser->failure(), parser->ErrorMessage());
      }
    }
    if (declared != kUnknownContentLength && received >= declared) break;
    int64_t left = declared - received;
    int32_t want = chunked || left > kBodyPiece ? kBodyPiece : static_cast<int32_t>(left);
    got = deadlines_->ReadBody(piece.get(), want);
    if (got < 0) return BodyFailed(got);
    if (got == 0) {
      // The client stopped short of the length it announced.
      if (!chunked) return ContentFailed(kContentRefused, String(kIncompleteBody));
      break;
    }
  }
  if (!parser->Finish()) return ContentFailed(parser->failure(), parser->ErrorMessage());
  deadlines_->StopPostTimer();
  return true;
}

bool RequestContent::BodyFailed(int32_t failure) {
  if (failure == kBodyTimedOut) {
    messages_->SetFailureStatus(408);
    messages_->ReportTimeout("Timeout processing POST data");
    return false;
  }
  messages_->SetFailureStatus(failure <= -400 && failure > -500 ? -failure : 400);
  messages_->ReportInputError(String(kBodyReadFailed));
  return false;
}

bool RequestContent::ContentFailed(ContentFailure failure, const String& message) {
  messages_->SetFailureStatus(ContentFailureStatus(failure));
  messages_->ReportInputError(message);
  return false;
}

}  // namespace pexo
