#include "net/pop3_mailbox.h"

#include "io/file.h"
#include "io/file_manager.h"
#include "net/network_state.h"
#include "values/variable.h"
#include "values/variable_hash.h"

namespace pexo {

POP3Mailbox::POP3Mailbox(PexoVM* vm, NetworkState* state, VariableHash* scope, int32_t timeout)
    : Feature(vm, kFeaturePOP3), state_(state), scope_(scope),
      pop3_(state->manager(), timeout, this) {}

POP3Mailbox::~POP3Mailbox() {
  pop3_.Close();
  delete file_;
}

void SplitMailHost(const String& text, String* host, int32_t* port) {
  *host = text;
  const char* begin = text.data();
  const char* colon = nullptr;
  for (const char* c = begin; c < begin + text.length(); ++c)
    if (*c == ':') colon = c;
  if (!colon || colon + 1 == begin + text.length()) return;
  int32_t number = 0;
  for (const char* c = colon + 1; c < begin + text.length(); ++c) {
    if (*c < '0' || *c > '9' || number > 6553) return;
    number = number * 10 + (*c - '0');
  }
  bool bracketed = text.length() > 1 && begin[0] == '[' && colon[-1] == ']';
  for (const char* c = begin; c < colon && !bracketed; ++c)
    if (*c == ':') return;  // a bare IPv6 address
  if (number == 0 || number > 65535) return;
  host->assign(begin + (bracketed ? 1 : 0),
               static_cast<int32_t>(colon - begin) - (bracketed ? 2 : 0));
  *port = number;
}

int POP3Mailbox::Open(const String& mail_host, const String& user, const String& password,
                      const String& directory, int32_t port) {
  String host;
  SplitMailHost(mail_host, &host, &port);
  directory_ = directory;
  while (directory_.length() > 0 && directory_.data()[directory_.length() - 1] == '/')
    directory_.resize(directory_.length() - 1);
  if (!pop3_.Open(host, user, password, port)) {
    error_ = pop3_.ErrorText();
    return 0;
  }
  SetVariables();
  return 1;
}

int POP3Mailbox::Next() {
  state_->manager();  // the deadline may have moved on
  if (!pop3_.Next()) {
    error_ = pop3_.ErrorText();
    return 0;
  }
  SetVariables();
  return 1;
}

int POP3Mailbox::Delete() {
  state_->manager();
  if (pop3_.Delete()) return 1;
  error_ = pop3_.ErrorText();
  return 0;
}

void POP3Mailbox::SetVariables() {
  if (!pop3_.HasMessage() || !scope_) return;
  POP3Fields fields = pop3_.Fields();
  struct {
    const char* name;
    const String* value;
  } variables[] = {{"messagebody", &fields.body},       {"messagesubject", &fields.subject},
                   {"messagesender", &fields.sender},   {"messagereplyto", &fields.reply_to},
                   {"messagedate", &fields.date}};
  for (const auto& v : variables) {
    Variable* variable = nullptr;
    if (scope_->Find(v.name, -1, true, &variable) && variable)
      variable->SetValue(v.value->data(), v.value->length());
  }
}

int POP3Mailbox::Open(const String& name, String* path, String* error) {
  FileManager* files = state_->files();
  if (!files) {
    error->assign("No file layer for message files");
    return 0;
  }
  String relative;
  if (!directory_.empty()) {
    relative = directory_;
    relative.append('/');
  }
  relative.append(name);
  delete file_;
  file_ = files->Open(FILE_DATA, relative.c_str(), FILE_WRITE | FILE_CREATE | FILE_TRUNCATE);
  if (!file_) {
    *error = files->ErrorText();
    return 0;
  }
  state_->KeepUntilEnd(relative);
  *path = relative;
  return 1;
}

int POP3Mailbox::Write(const char* bytes, int32_t length, String* error) {
  if (file_ && file_->Write(bytes, length)) return 1;
  *error = file_ ? file_->ErrorText() : String("No message file");
  return 0;
}

int POP3Mailbox::Close(String* error) {
  File* file = file_;
  file_ = nullptr;
  bool synced = file && file->Sync();
  String text = file ? file->ErrorText() : String();
  delete file;
  if (synced) return 1;
  *error = text;
  return 0;
}

}  // namespace pexo
