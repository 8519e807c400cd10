#include "net/http_call.h"

#include "net/tls_session.h"

namespace pexo {

int HttpCall::Fail(const String& text) {
  error_ = text;
  if (connection_) connection_->Close();
  return 0;
}

int HttpCall::Start(const CallRequest& request, const TlsOptions& tls, int32_t timeout) {
  flags_ = request.flags;
  Url url;
  String error;
  if (!SplitURL(request.url, &url, &error)) return Fail(error);
  if (!url.secure && (flags_ & kCallForceHttps))
    return Fail("Request requires a secure connection");
  if (!url.secure && (!tls.pin_algorithm.empty() || !tls.pin.empty()))
    return Fail("Certificate pinning requested for non-secure connection");
  CallMessage message;
  if (!message.Build(request, url, files_, &error)) return Fail(error);

  connection_ = manager_->OpenConnection(url.host, url.port, timeout);
  if (!connection_) {
    String text("Unable to open URL '");
    text.append(request.url);
    text.append("': ");
    text.append(manager_->ErrorText());
    return Fail(text);
  }
  if (wrapper_) connection_ = wrapper_(wrapper_context_, std::move(connection_));
  if (url.secure) {
    TlsOptions options = tls;
    options.host = url.host;
    if (flags_ & kCallForceVerify) options.verify_flags |= TlsOptions::kForceVerify;
    if (!manager_->StartTLS(connection_.get(), options, timeout)) {
      String text("Unable to open URL '");
      text.append(request.url);
      text.append("': ");
      text.append(manager_->ErrorText());
      return Fail(text);
    }
    if (connection_->Tls()) connection_->Tls()->PeerCertificatePem(&certificate_);
  }
  if (!message.Send(connection_.get(), timeout, &error)) return Fail(error);
  stream_.reset(new HTTPResponseStream(connection_.get(), timeout));
  if (!stream_->ReadHead(message.mode() == kCallHead)) return Fail(stream_->ErrorText());
  buffer_.reset(new CallBuffer(stream_.get()));
  splitter_.reset(new TagSplitter(buffer_.get()));
  return 1;
}

int32_t HttpCall::ReadBody(char* buffer, int32_t size) {
  if (!stream_) {
    if (error_.empty()) error_.assign("No response");
    return -1;
  }
  int32_t got = stream_->Read(buffer, size);
  if (got < 0) Fail(stream_->ErrorText());
  return got;
}

int HttpCall::NextObject(CallObject* object) {
  if (!stream_ || done_) return 0;
  if (!(flags_ & kCallNoParse)) {
    int result = splitter_->Next(object);
    if (result < 0) Fail(splitter_->ErrorText());
    if (result <= 0) done_ = true;
    return result;
  }
  done_ = true;
  object->is_tag = false;
  object->value.clear();
  object->element.clear();
  object->names.clear();
  object->values.clear();
  // The whole body in one text, read in place: room for the announced
  // length up front, then in large pieces (which bypass the stream's
  // buffer).
  const int32_t kPiece = 1 << 16;
  int64_t expected = stream_->content_length();
  if (expected > 0 && expected < (int64_t{1} << 30))
    object->value.reserve(static_cast<int32_t>(expected));
  for (;;) {
    int32_t room = object->value.capacity() - object->value.length() - 1;
    if (room < 1) {
      // Full: most often exactly the announced length, so ask for one byte
      // before growing.
      char probe;
      int32_t got = stream_->Read(&probe, 1);
      if (got < 0) {
        Fail(stream_->ErrorText());
        return -1;
      }
      if (got == 0) break;
      if (!object->value.append(probe)) {
        Fail("Out of memory");
        return -1;
      }
      room = kPiece;
    }
    char* at = object->value.prepare(room);
    if (!at) {
      Fail("Out of memory");
      return -1;
    }
    int32_t got = stream_->Read(at, room);
    if (got < 0) {
      Fail(stream_->ErrorText());
      return -1;
    }
    if (got == 0) break;
    object->value.commit(got);
  }
  return object->value.empty() ? 0 : 1;
}

}  // namespace pexo
