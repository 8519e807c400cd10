// POP3Mailbox: the service of one running PxPOP. Open logs in, lists the
// mailbox and retrieves the first message; each message is written to the
// file "PXPOPM.<number in lower-case hex>" in the tag's directory (data
// location, sandboxed) and its fields are set as variables of the scope
// current when the loop started: messagebody (the file's path as the
// script names it), messagesubject, messagesender, messagereplyto and
// messagedate. Message files stay until the request ends (the machine's
// network state removes them), so the script may read any of them during
// the loop. The session ends with QUIT when the service is destroyed.
#ifndef PEXO_NET_POP3_MAILBOX_H_
#define PEXO_NET_POP3_MAILBOX_H_

#include <cstdint>

#include "net/pop3.h"
#include "vm/feature.h"

namespace pexo {

class File;
class NetworkState;
class VariableHash;

// The host and port of a mail host text "name", "name:port", "[v6]:port";
// *port is left alone without a valid port.
void SplitMailHost(const String& text, String* host, int32_t* port);

class POP3Mailbox : public Feature, private POP3MessageSink {
 public:
  // The state and the scope are borrowed (see Call).
  POP3Mailbox(PexoVM* vm, NetworkState* state, VariableHash* scope, int32_t timeout);
  ~POP3Mailbox() override;

  // 1 with the first message's variables set (or an empty mailbox), or 0
  // with ErrorText(). A mail host written "name:port" (or "[v6]:port")
  // overrides the port.
  int Open(const String& mail_host, const String& user, const String& password,
           const String& directory, int32_t port = 110);
  bool HasMessage() const { return pop3_.HasMessage(); }
  // Moves to the next message and sets its variables; 0 with ErrorText().
  int Next();
  // Marks the current message for deletion; 0 with ErrorText().
  int Delete();

 private:
  int Open(const String& name, String* path, String* error) override;
  int Write(const char* bytes, int32_t length, String* error) override;
  int Close(String* error) override;
  void SetVariables();

  NetworkState* state_;
  VariableHash* scope_;
  POP3 pop3_;
  String directory_;
  File* file_ = nullptr;
};

}  // namespace pexo

#endif  // PEXO_NET_POP3_MAILBOX_H_
