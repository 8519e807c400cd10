// The network tags' instructions: PxCALL (op_http, op_httpx, op_httpn,
// op_http_loop, op_http_stop), PxSMTP (op_smtp, op_smtpn, op_smtp_end) and
// PxPOP (pop3, pop3loop, pop3stop, pop3delete), run as services on the
// machine's service stack.
//
// Operand layout: attributes are pushed first listed deepest, each a text
// except the integers named. The first integer operand of every start,
// loop and stop instruction is a jump distance from the next instruction:
// a start that fails or has nothing to run jumps past the loop, the loop
// instruction (at the end of the body) jumps back to the body's start while
// there is more, a stop jumps past the loop.
//   PxCALL: URL, method, fields, files, content type, extra headers,
//     certificate file, certificate data, certificate type, key (password),
//     pinning algorithm, fingerprint, flags, time-out (integer). op_http
//     carries the first 5, op_httpx 8, op_httpn the count of its second
//     operand (5 to 14).
//   PxSMTP: host, port (integer), TO, FROM, CC, subject, flags, user,
//     password; op_smtp carries 5, op_smtpn its count (more are ignored).
//     op_smtp_end ends the body and sends the message.
//   PxPOP: host, user, password, directory; pop3delete has no operand.
// FIELDS is a comma-separated list of variable names (each sent as name =
// value); FILES a comma-separated list of field=file[;content type] items
// (file in the data location; type default application/octet-stream); the
// fingerprint is hexadecimal, colons allowed.
#ifndef PEXO_NET_NETWORK_INSTRUCTIONS_H_
#define PEXO_NET_NETWORK_INSTRUCTIONS_H_

#include <vector>

#include "net/call_request.h"
#include "vm/tag_instructions.h"

namespace pexo {

void RegisterNetworkInstructions(TagInstructionTable* table);

// The FILES attribute as upload entries; 1, or 0 with *error.
int ParseCallFiles(const String& text, std::vector<CallFile>* files, String* error);
// A fingerprint given as hexadecimal text (colons allowed) as bytes; 0 when
// it is not such a text.
int DecodeFingerprint(const String& text, String* bytes);

}  // namespace pexo

#endif  // PEXO_NET_NETWORK_INSTRUCTIONS_H_
