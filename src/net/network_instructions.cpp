#include "net/network_instructions.h"

#include <cctype>
#include <initializer_list>
#include <memory>

#include "io/file_manager.h"
#include "net/call_service.h"
#include "net/network_state.h"
#include "net/pop3_mailbox.h"
#include "net/smtp_session.h"
#include "program/opcodes.h"
#include "values/config.h"
#include "values/variable.h"
#include "values/variable_list.h"
#include "vm/error_table.h"
#include "vm/machine_scopes.h"
#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {
namespace {

const char kNoNetwork[] = "Network functions are not available in this engine";
const int32_t kCallAttributes = 14;
const int32_t kSmtpAttributes = 9;
const int32_t kPopAttributes = 4;

// The scope the tags' variables go to: the current call's, else the globals.
VariableHash* CurrentScope(PexoVM* vm) {
  VariableHash* local = vm->local_scope();
  return local ? local : vm->globals();
}

// Pops `count` attributes into texts[0..count) (first listed deepest);
// positions in `integers` are popped as integers into numbers[]. Positions
// from `kept` on are popped and dropped. False once the machine stopped.
bool PopAttributes(PexoVM* vm, int32_t count, int32_t kept, String* texts, int32_t* numbers,
                   std::initializer_list<int32_t> integers) {
  for (int32_t i = count - 1; i >= 0 && !vm->fatal(); --i) {
    bool integer = false;
    for (int32_t at : integers) integer |= at == i;
    if (i >= kept) {
      vm->stack()->pop();
    } else if (integer) {
      numbers[i] = vm->stack()->pop_integer();
    } else {
      PoppedText text;
      vm->stack()->pop_string(&text);
      texts[i].assign(text.bytes, text.length);
    }
  }
  return !vm->fatal();
}

// A start that fails: the message under the tag, then past the loop.
void FailStart(PexoVM* vm, int32_t tag, const String& message, int32_t past) {
  vm->runtime_error(tag, message.c_str());
  vm->branch(past);
}

int32_t ConfiguredInteger(PexoVM* vm, int32_t key) {
  Config* config = vm->context().config;
  return config ? config->GetInteger(key) : 0;
}

// The fields' names and values from the FIELDS text.
int FieldsFromText(PexoVM* vm, const String& text, std::vector<CallField>* fields,
                   String* error) {
  VariableList list;
  if (BuildMachineFieldList(vm, text, &list, error) < 0)
    return 0;
  for (Variable* v = list.First(); v; v = list.Next())
    fields->push_back(CallField{v->Name(), v->Value()});
  return 1;
}

void StartCall(PexoVM* vm, const TagOperands& ops, int32_t count) {
  String a[kCallAttributes];
  int32_t numbers[kCallAttributes] = {};
  if (!PopAttributes(vm, count, kCallAttributes, a, numbers, {13})) return;
  if (count < 5 || count > kCallAttributes)
    return FailStart(vm, kTagPxCALL, String("Invalid number of parameters to HTTPN"), ops.first);
  NetworkState* state = NetworkState::Of(vm);
  if (!state) return FailStart(vm, kTagPxCALL, String(kNoNetwork), ops.first);

  CallRequest request;
  request.url = a[0];
  request.method = a[1];
  String error;
  if (!FieldsFromText(vm, a[2], &request.fields, &error) ||
      !ParseCallFiles(a[3], &request.files, &error) ||
      !ParseCallFlags(a[12], &request.flags, &error))
    return FailStart(vm, kTagPxCALL, error, ops.first);
  request.content_type = a[4];
  request.headers = a[5];
  int32_t block = ConfiguredInteger(vm, CFG_BUFSZ_CALL);
  if (block > 0) request.file_block = block;

  TlsOptions tls;
  if (!a[6].empty()) {
    FileManager* files = state->files();
    if (!files || !files->ResolvePath(FILE_DATA, a[6].data(), a[6].length(),
                                      &tls.certificate_file)) {
      String text("Unable to read from client certificate file: ");
      text.append(files ? files->ErrorText() : String("no file layer"));
      return FailStart(vm, kTagPxCALL, text, ops.first);
    }
  }
  tls.certificate_data = a[7];
  tls.certificate_type = a[8];
  tls.key = a[9];
  tls.pin_algorithm = a[10];
  if (!a[11].empty() && !DecodeFingerprint(a[11], &tls.pin))
    return FailStart(vm, kTagPxCALL, String("Certificate does not match expected fingerprint"),
                     ops.first);
  int32_t timeout = numbers[13] > 0 ? numbers[13] : ConfiguredInteger(vm, CFG_TIMEOUT_CALL);

  std::unique_ptr<Call> call(new Call(vm, state, CurrentScope(vm)));
  if (!call->Open(request, tls, timeout))
    return FailStart(vm, kTagPxCALL, call->ErrorText(), ops.first);
  Call* running = call.get();
  vm->services().Push(std::move(call));
  int next = running->Next();
  if (next > 0) return;
  if (next < 0) vm->runtime_error(kTagPxCALL, running->ErrorText().c_str());
  vm->services().Stop(running);
  vm->branch(ops.first);
}

void Http(PexoVM* vm, const TagOperands& ops) { StartCall(vm, ops, 5); }
void HttpX(PexoVM* vm, const TagOperands& ops) { StartCall(vm, ops, 8); }
void HttpN(PexoVM* vm, const TagOperands& ops) { StartCall(vm, ops, ops.second); }

void HttpLoop(PexoVM* vm, const TagOperands& ops) {
  Call* call = static_cast<Call*>(vm->services().Find(kFeatureCall));
  if (!call) return vm->fatal_error("Invalid instruction");
  int next = call->Next();
  if (next > 0) return vm->branch(ops.first);
  if (next < 0) vm->runtime_error(kTagPxCALL, call->ErrorText().c_str());
  vm->services().Stop(call);
}

void HttpStop(PexoVM* vm, const TagOperands& ops) {
  Feature* call = vm->services().Find(kFeatureCall);
  if (!call) return vm->fatal_error("Invalid instruction");
  vm->services().Stop(call);
  vm->branch(ops.first);
}

void StartSmtp(PexoVM* vm, const TagOperands& ops, int32_t count) {
  String a[kSmtpAttributes];
  int32_t numbers[kSmtpAttributes] = {};
  if (!PopAttributes(vm, count, kSmtpAttributes, a, numbers, {1})) return;
  NetworkState* state = NetworkState::Of(vm);
  if (!state) return FailStart(vm, kTagPxSMTP, String(kNoNetwork), ops.first);
  SmtpMessage message;
  message.host = a[0];
  message.port = count > 1 && numbers[1] > 0 ? numbers[1] : 25;
  message.to = a[2];
  message.from = a[3];
  message.cc = a[4];
  message.subject = a[5];
  message.flags = a[6];
  message.user = a[7];
  message.password = a[8];
  std::unique_ptr<SMTP> smtp(new SMTP(vm, state, ConfiguredInteger(vm, CFG_TIMEOUT_MAIL),
                                      ConfiguredInteger(vm, CFG_BUFSZ_SMTP)));
  if (!smtp->Open(message)) return FailStart(vm, kTagPxSMTP, smtp->ErrorText(), ops.first);
  vm->services().Push(std::move(smtp));
}

void Smtp(PexoVM* vm, const TagOperands& ops) { StartSmtp(vm, ops, 5); }
void SmtpN(PexoVM* vm, const TagOperands& ops) { StartSmtp(vm, ops, ops.second); }

void SmtpEnd(PexoVM* vm, const TagOperands&) {
  Feature* smtp = vm->services().Find(kFeatureSMTP);
  if (!smtp) return vm->fatal_error("Invalid instruction");
  // Constructs left open inside the body end first: one of them may have
  // diverted the body's output.
  vm->services().StopAbove(smtp);
  if (!smtp->End()) vm->runtime_error(kTagPxSMTP, smtp->ErrorText().c_str());
  vm->services().Stop(smtp);
}

void Pop3(PexoVM* vm, const TagOperands& ops) {
  String a[kPopAttributes];
  int32_t numbers[kPopAttributes] = {};
  if (!PopAttributes(vm, kPopAttributes, kPopAttributes, a, numbers, {})) return;
  NetworkState* state = NetworkState::Of(vm);
  if (!state) return FailStart(vm, kTagPxPOP, String(kNoNetwork), ops.first);
  std::unique_ptr<POP3Mailbox> mailbox(
      new POP3Mailbox(vm, state, CurrentScope(vm), ConfiguredInteger(vm, CFG_TIMEOUT_MAIL)));
  if (!mailbox->Open(a[0], a[1], a[2], a[3]))
    return FailStart(vm, kTagPxPOP, mailbox->ErrorText(), ops.first);
  if (!mailbox->HasMessage()) return vm->branch(ops.first);  // QUIT as it goes
  vm->services().Push(std::move(mailbox));
}

void Pop3Loop(PexoVM* vm, const TagOperands& ops) {
  POP3Mailbox* mailbox = static_cast<POP3Mailbox*>(vm->services().Find(kFeaturePOP3));
  if (!mailbox) return vm->fatal_error("Invalid instruction");
  if (!mailbox->Next()) {
    vm->runtime_error(kTagPxPOP, mailbox->ErrorText().c_str());
  } else if (mailbox->HasMessage()) {
    return vm->branch(ops.first);
  }
  vm->services().Stop(mailbox);
}

void Pop3Stop(PexoVM* vm, const TagOperands& ops) {
  Feature* mailbox = vm->services().Find(kFeaturePOP3);
  if (!mailbox) return vm->fatal_error("Invalid instruction");
  vm->services().Stop(mailbox);
  vm->branch(ops.first);
}

void Pop3Delete(PexoVM* vm, const TagOperands&) {
  POP3Mailbox* mailbox = static_cast<POP3Mailbox*>(vm->services().Find(kFeaturePOP3));
  if (!mailbox) return vm->runtime_error(kTagPxPOPDELETE, "No messages exist");
  if (!mailbox->Delete()) vm->runtime_error(kTagPxPOPDELETE, mailbox->ErrorText().c_str());
}

String Trimmed(const char* begin, const char* end) {
  while (begin < end && std::isspace(static_cast<unsigned char>(*begin))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(end[-1]))) --end;
  return String(begin, static_cast<int32_t>(end - begin));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

int ParseCallFiles(const String& text, std::vector<CallFile>* files, String* error) {
  const char* at = text.data();
  const char* end = at + text.length();
  while (at <= end) {
    const char* stop = at;
    while (stop < end && *stop != ',') ++stop;
    String item = Trimmed(at, stop);
    at = stop + 1;
    if (item.empty()) continue;
    const char* begin = item.data();
    const char* last = begin + item.length();
    const char* equals = begin;
    while (equals < last && *equals != '=') ++equals;
    if (equals == last) {
      error->assign("Invalid file entry '");
      error->append(item);
      error->append("': field=file expected");
      return 0;
    }
    const char* semicolon = equals;
    while (semicolon < last && *semicolon != ';') ++semicolon;
    CallFile file;
    file.field = Trimmed(begin, equals);
    file.name = Trimmed(equals + 1, semicolon);
    file.content_type = semicolon < last ? Trimmed(semicolon + 1, last) : String();
    if (file.content_type.empty()) file.content_type = "application/octet-stream";
    files->push_back(std::move(file));
  }
  return 1;
}

int DecodeFingerprint(const String& text, String* bytes) {
  bytes->clear();
  int high = -1;
  for (int32_t i = 0; i < text.length(); ++i) {
    char c = text.data()[i];
    if (c == ':' && high < 0) continue;
    int value = HexValue(c);
    if (value < 0) return 0;
    if (high < 0) {
      high = value;
    } else {
      bytes->append(static_cast<char>(high * 16 + value));
      high = -1;
    }
  }
  return high < 0 && !bytes->empty();
}

void RegisterNetworkInstructions(TagInstructionTable* table) {
  table->Set(OP_HTTP, &Http);
  table->Set(OP_HTTPX, &HttpX);
  table->Set(OP_HTTPN, &HttpN);
  table->Set(OP_HTTP_LOOP, &HttpLoop);
  table->Set(OP_HTTP_STOP, &HttpStop);
  table->Set(OP_SMTP, &Smtp);
  table->Set(OP_SMTPN, &SmtpN);
  table->Set(OP_SMTP_END, &SmtpEnd);
  table->Set(OP_POP3, &Pop3);
  table->Set(OP_POP3LOOP, &Pop3Loop);
  table->Set(OP_POP3STOP, &Pop3Stop);
  table->Set(OP_POP3DELETE, &Pop3Delete);
}

}  // namespace pexo
