// The instruction set, one row per opcode word, in word order. Everything
// else that knows an opcode (the enum, the machine's dispatch and its table
// of instructions not implemented yet, the assembler, the listing and
// docs/instructions.md) is expanded from these rows.
//
//   PEXO_OP(word, NAME, mnemonic, listing, first, second, effect, what)
//   PEXO_PENDING(word, NAME, mnemonic, listing, first, second, tag, pops, effect, what)
//
// NAME gives the enum constant OP_<NAME>. `listing` is Shown, or Hidden for
// the words the instruction listing prints as "Illegal Instruction" although
// the machine knows them. `first` and `second` say what each operand names
// (None, Int, Double, Dict, System, Global, Local, Label, Function, Count);
// they must agree with the word's flag bits. `effect` is the stack effect,
// top on the right. A PEXO_PENDING row is an instruction whose subsystem is
// not built yet: it pops `pops` entries (-1: as many as the second operand
// says) and reports the runtime error "Not implemented" under tag `tag`
// (a TagNumber without its kTag prefix).
//
//   PEXO_FUSION(FIRST, SECOND, effect, what)
//
// A pair the machine may run as one step when SECOND directly follows FIRST;
// the result is the same as running both.
#ifndef PEXO_PROGRAM_OPCODE_LIST_H_
#define PEXO_PROGRAM_OPCODE_LIST_H_

#define PEXO_OPCODE_LIST(PEXO_OP, PEXO_PENDING) \
  PEXO_OP(0x0000, NOOP, "noop", Shown, None, None, "--", "nothing") \
  PEXO_OP(0x0007, PUSHD, "pushd", Shown, None, None, "alias field -- v", "the field's variable of the database opened under the alias (empty: the primary one), or the null variable") \
  PEXO_OP(0x0009, PUSHN, "pushn", Shown, None, None, "name -- v", "the variable the name resolves to (the null variable when none)") \
  PEXO_OP(0x000B, POP, "pop", Shown, None, None, "x --", "discard the top entry") \
  PEXO_OP(0x000F, POPD, "popd", Shown, None, None, "x alias field --", "store x into the field of the database opened under the alias (discarded when there is none)") \
  PEXO_OP(0x0011, POPN, "popn", Shown, None, None, "x name --", "store x into the variable the name resolves to (discarded when none)") \
  PEXO_OP(0x0013, SPUSH, "spush", Shown, None, None, "--", "open a save level of the system variables") \
  PEXO_OP(0x0014, SPOP, "spop", Shown, None, None, "--", "undo the changes of the innermost save level") \
  PEXO_OP(0x0015, OUT, "out", Shown, None, None, "x --", "write the text of x to the output unchanged") \
  PEXO_OP(0x0016, ADD, "add", Shown, None, None, "a b -- a+b", "integer sum, or decimal when it would overflow or an operand is no integer") \
  PEXO_OP(0x0017, SUB, "sub", Shown, None, None, "a b -- a-b", "integer difference, or decimal as for add") \
  PEXO_OP(0x0018, CAT, "cat", Shown, None, None, "a b -- ab", "text of a followed by text of b") \
  PEXO_OP(0x0019, BITAND, "bitand", Shown, None, None, "a b -- a&b", "32-bit AND") \
  PEXO_OP(0x001A, BITOR, "bitor", Shown, None, None, "a b -- a|b", "32-bit OR") \
  PEXO_OP(0x001B, BITXOR, "bitxor", Shown, None, None, "a b -- a^b", "32-bit XOR") \
  PEXO_OP(0x001C, BITOC, "bitoc", Shown, None, None, "a -- ~a", "ones' complement") \
  PEXO_OP(0x001D, BITSL, "bitsl", Shown, None, None, "a b -- a<<b", "shift left by b mod 32") \
  PEXO_OP(0x001E, BITSR, "bitsr", Shown, None, None, "a b -- a>>b", "arithmetic shift right by b mod 32") \
  PEXO_OP(0x001F, DIV, "div", Shown, None, None, "a b -- a/b", "decimal quotient; 0 when a is 0") \
  PEXO_OP(0x0020, MUL, "mul", Shown, None, None, "a b -- a*b", "decimal product") \
  PEXO_OP(0x0021, MOD, "mod", Shown, None, None, "a b -- a%b", "integer remainder, sign of a; 0 when b is 0") \
  PEXO_OP(0x0022, ROUNDS, "rounds", Shown, None, None, "x n -- text", "x formatted with n digits after the point") \
  PEXO_OP(0x0023, CRYPT, "crypt", Shown, None, None, "text salt -- hash", "the host's password hash with a two-character salt") \
  PEXO_OP(0x0024, POW, "pow", Shown, None, None, "a b -- a^b", "decimal power") \
  PEXO_OP(0x0025, ROUNDF, "roundf", Shown, None, None, "x n -- x'", "x rescaled to n digits after the point, half-even") \
  PEXO_OP(0x002C, CMP, "cmp", Shown, None, None, "a b -- order", "negative, 0 or positive as a is below, equal to or above b") \
  PEXO_OP(0x002D, AND, "and", Shown, None, None, "a b -- a&&b", "1 when both are true") \
  PEXO_OP(0x002E, OR, "or", Shown, None, None, "a b -- a||b", "1 when either is true") \
  PEXO_OP(0x002F, IN, "in", Shown, None, None, "needle text -- pos", "1-based position of needle in text, 0 when absent") \
  PEXO_OP(0x0030, CIN, "cin", Shown, None, None, "needle text -- pos", "as in, without regard to case") \
  PEXO_OP(0x0031, EIN, "ein", Shown, None, None, "needle text -- pos", "position of the last character of the first occurrence") \
  PEXO_OP(0x0032, ECIN, "ecin", Shown, None, None, "needle text -- pos", "as ein, without regard to case") \
  PEXO_OP(0x0033, EQ, "eq", Shown, None, None, "a b -- a==b", "1 when the comparison is 0") \
  PEXO_OP(0x0034, NE, "ne", Shown, None, None, "a b -- a!=b", "1 when the comparison is not 0") \
  PEXO_OP(0x0035, GE, "ge", Shown, None, None, "a b -- a>=b", "1 when the comparison is not negative") \
  PEXO_OP(0x0036, LE, "le", Shown, None, None, "a b -- a<=b", "1 when the comparison is not positive") \
  PEXO_OP(0x0037, LT, "lt", Shown, None, None, "a b -- a<b", "1 when the comparison is negative") \
  PEXO_OP(0x0038, GT, "gt", Shown, None, None, "a b -- a>b", "1 when the comparison is positive") \
  PEXO_OP(0x0039, NOT, "not", Shown, None, None, "a -- !a", "1 when a is false") \
  PEXO_OP(0x003A, DUP, "dup", Shown, None, None, "a -- a a", "a borrowed copy of the top entry") \
  PEXO_OP(0x003B, RET, "ret", Shown, None, None, "x --", "return x to the caller") \
  PEXO_OP(0x003C, RETN, "retn", Shown, None, None, "--", "return an empty text to the caller") \
  PEXO_OP(0x003E, ELEM, "elem", Shown, None, None, "array i -- v", "element i of the array (created)") \
  PEXO_OP(0x003F, ELEMQ, "elemq", Hidden, None, None, "array i -- v", "element i of the array, or the null variable") \
  PEXO_OP(0x0040, MEMB, "memb", Shown, None, None, "struct name -- v", "member of the structure (created)") \
  PEXO_OP(0x0041, MEMBQ, "membq", Hidden, None, None, "struct name -- v", "member of the structure, or the null variable") \
  PEXO_OP(0x0042, STORE, "store", Shown, None, None, "x v --", "store x into variable v") \
  PEXO_OP(0x0043, EXIT, "exit", Shown, None, None, "--", "end the request's execution") \
  PEXO_PENDING(0x0045, DO_FILE, "op_do_file", Shown, None, None, PxDO, 1, "file --", "run another compiled file in this request (PxDO)") \
  PEXO_PENDING(0x0046, DO_FUNCTION, "op_do_function", Shown, None, None, PxDO, 2, "file expr -- v", "value of an expression evaluated in another compiled file (PxDO); null when it could not run") \
  PEXO_OP(0x0047, HIDE, "hide", Shown, None, None, "names --", "write hidden form fields for the listed variables") \
  PEXO_PENDING(0x0048, LOCKFILE, "lockfile", Shown, None, None, PxLOCKFILE, 1, "name --", "hold the lock file name.lck until lockfile_end, the function's return or the end of the request") \
  PEXO_PENDING(0x0049, LOCKFILE_END, "lockfile_end", Shown, None, None, PxLOCKFILE, 0, "--", "release the innermost lock file") \
  PEXO_OP(0x0051, OUT_COMP, "out_comp", Shown, None, None, "x --", "hand the text of x to the output's whitespace filter") \
  PEXO_OP(0x0052, ERRPREFIX, "errprefix", Hidden, None, None, "text --", "the text becomes the error prefix") \
  PEXO_OP(0x0055, REFERN, "refern", Hidden, None, None, "t name --", "the named variable becomes a reference to t") \
  PEXO_OP(0x0057, REFER, "refer", Shown, None, None, "t r --", "r becomes a reference to t") \
  PEXO_PENDING(0x0058, CAPTURE, "capture", Hidden, None, None, PxCAPTURE, 1, "v --", "divert the output into v until capture_end") \
  PEXO_PENDING(0x0059, CAPTURE_END, "capture_end", Hidden, None, None, PxCAPTURE, 0, "--", "store the innermost capture's text into its variable and restore the output") \
  PEXO_OP(0x005A, ISNULL, "isnull", Shown, None, None, "x -- empty", "1 when x is empty") \
  PEXO_OP(0x005B, SWAP, "swap", Hidden, None, None, "a b -- b a", "exchange the two top entries") \
  PEXO_PENDING(0x0105, EXPORT, "export", Shown, None, None, PxEXPORT, 3, "file fields delimiter --", "PxEXPORT: append the escaped values of the fields, joined by the delimiter, as one line") \
  PEXO_PENDING(0x0108, POP3DELETE, "pop3delete", Shown, None, None, PxPOPDELETE, 0, "--", "PxPOPDELETE: mark the current message of the innermost PxPOP loop for deletion") \
  PEXO_PENDING(0x010B, SMTP_END, "op_smtp_end", Shown, None, None, PxSMTP, 0, "--", "end of the PxSMTP body: the text the body wrote is sent as the message") \
  PEXO_OP(0x0116, EXIT_ALT, "exit", Hidden, None, None, "--", "the same as 0x0043") \
  PEXO_PENDING(0x0200, DBOPEN, "dbopen", Shown, None, None, PxOPEN, 6, "name file type indexes text1 text2 --", "open a database (type xbase3 by default) as the new primary one") \
  PEXO_PENDING(0x0201, DBCLOSE, "dbclose", Shown, None, None, PxCLOSE, 1, "name --", "close the database") \
  PEXO_PENDING(0x0202, DBSKIP, "dbskip", Shown, None, None, PxSKIP, 3, "name view count --", "move count records in the view's order (filtered when a filter is set)") \
  PEXO_PENDING(0x0203, DBGO, "dbgo", Shown, None, None, PxGO, 3, "name view record --", "go to a record number, top or bottom") \
  PEXO_PENDING(0x0204, DBADD, "dbadd", Shown, None, None, PxADD, 2, "name view --", "append the view's field values as a new record") \
  PEXO_PENDING(0x0205, DBUPDATE, "dbupdate", Shown, None, None, PxUPDATE, 2, "name view --", "rewrite the current record with the view's field values") \
  PEXO_PENDING(0x0206, DBDELETE, "dbdelete", Shown, None, None, PxDELETE, 2, "name view --", "mark the current record deleted") \
  PEXO_PENDING(0x0207, DBUNDELETE, "dbundelete", Shown, None, None, PxUNDELETE, 2, "name view --", "clear the current record's deletion mark") \
  PEXO_PENDING(0x0208, DBPRIMARY, "dbprimary", Shown, None, None, PxPRIMARY, 3, "name view index --", "make the database primary, and the view and index when given") \
  PEXO_PENDING(0x0209, DBFIND, "dbfind", Shown, None, None, PxFIND, 4, "name view key exact --", "find a key in the primary index (exact: \"1\" or empty)") \
  PEXO_PENDING(0x020A, DBSETINDEX, "dbsetindex", Shown, None, None, PxSETINDEX, 2, "name indexes --", "replace the open indexes") \
  PEXO_PENDING(0x020B, DBMAKEINDEX, "dbmakeindex", Shown, None, None, PxMAKEINDEX, 4, "name file expression flags --", "build a new index (empty flags: none)") \
  PEXO_PENDING(0x020C, DBPACK, "dbpack", Shown, None, None, PxPACK, 1, "name --", "remove the deleted records") \
  PEXO_PENDING(0x020D, DBREINDEX, "dbreindex", Shown, None, None, PxREINDEX, 1, "name --", "rebuild the open indexes") \
  PEXO_PENDING(0x020E, DBCREATE, "dbcreate", Shown, None, None, PxCREATE, 5, "name file type fields text1 --", "create a table from its field declarations and open it") \
  PEXO_PENDING(0x0210, DBOPENVIEW, "dbopenview", Shown, None, None, PxOPENVIEW, 4, "name view query fields --", "open a view of a database") \
  PEXO_PENDING(0x0211, DBCLOSEVIEW, "dbcloseview", Shown, None, None, PxCLOSEVIEW, 2, "name view --", "close a view") \
  PEXO_PENDING(0x0212, DBQUERY, "dbquery", Shown, None, None, PxQUERY, 3, "name query fields --", "run a query into the listed variables") \
  PEXO_PENDING(0x0213, DBFILTER, "dbfilter", Shown, None, None, PxFILTER, 3, "name view expression --", "set (or, empty, remove) the view's filter and go to the top") \
  PEXO_PENDING(0x0214, DBREVEALSTRUCTUREDB, "dbrevealstructuredb", Shown, None, None, PxREVEALSTRUCTURE, 3, "name view file --", "write the view's field list to a new table") \
  PEXO_PENDING(0x0215, DBREVEALSTRUCTUREAGG, "dbrevealstructureagg", Shown, None, None, PxREVEALSTRUCTURE, 3, "name view v --", "fill v with an array of the view's fields") \
  PEXO_PENDING(0x0216, DBOPENX, "dbopenx", Hidden, None, None, PxOPEN, 7, "name file type indexes text1 text2 text3 --", "dbopen with a third further text") \
  PEXO_PENDING(0x0217, DBCOMMIT, "dbcommit", Hidden, None, None, PxCOMMIT, 1, "name --", "commit the database's changes") \
  PEXO_PENDING(0x0218, DBROLLBACK, "dbrollback", Hidden, None, None, PxROLLBACK, 1, "name --", "roll back the database's changes") \
  PEXO_PENDING(0x0219, DBTRANSACT, "dbtransact", Hidden, None, None, PxTRANSACT, 1, "name --", "start a transaction") \
  PEXO_PENDING(0x021A, DBCOMMAND, "dbcommand", Hidden, None, None, PxDBCOMMAND, 3, "name command text --", "send a command to the database engine") \
  PEXO_OP(0x4001, PUSHC, "pushc", Shown, Dict, None, "-- s", "dictionary string i, borrowed") \
  PEXO_OP(0x4002, PUSHI, "pushi", Shown, Int, None, "-- i", "the integer i") \
  PEXO_OP(0x4004, PUSHS, "pushs", Shown, System, None, "-- v", "system variable i, or the null variable when absent") \
  PEXO_OP(0x4005, PUSHG, "pushg", Shown, Global, None, "-- v", "global variable i (created)") \
  PEXO_OP(0x4006, PUSHL, "pushl", Shown, Local, None, "-- v", "local variable i (created)") \
  PEXO_OP(0x400A, PUSHNC, "pushnc", Shown, Dict, None, "-- v", "as pushn with dictionary string i as the name") \
  PEXO_OP(0x400C, POPS, "pops", Shown, System, None, "x --", "store x into system variable i (discarded when absent)") \
  PEXO_OP(0x400D, POPG, "popg", Shown, Global, None, "x --", "store x into global variable i (created)") \
  PEXO_OP(0x400E, POPL, "popl", Shown, Local, None, "x --", "store x into local variable i (created)") \
  PEXO_OP(0x4012, POPNC, "popnc", Shown, Dict, None, "x --", "as popn with dictionary string i as the name") \
  PEXO_OP(0x4025, JMP, "jmp", Shown, Label, None, "--", "jump by i bytes from the next instruction") \
  PEXO_OP(0x4026, JMP_EQ, "jmp_eq", Shown, Label, None, "n --", "jump when n is 0") \
  PEXO_OP(0x4027, JMP_LT, "jmp_lt", Shown, Label, None, "n --", "jump when n is negative") \
  PEXO_OP(0x4028, JMP_GT, "jmp_gt", Shown, Label, None, "n --", "jump when n is positive") \
  PEXO_OP(0x4029, JMP_LE, "jmp_le", Shown, Label, None, "n --", "jump when n is not positive") \
  PEXO_OP(0x402A, JMP_GE, "jmp_ge", Shown, Label, None, "n --", "jump when n is not negative") \
  PEXO_OP(0x402B, JMP_NE, "jmp_ne", Shown, Label, None, "n --", "jump when n is not 0") \
  PEXO_OP(0x403D, CALL, "call", Shown, Function, None, "args -- result", "call function i") \
  PEXO_OP(0x4044, LINENO, "lineno", Shown, Int, None, "--", "current source line := i") \
  PEXO_OP(0x404A, SOURCEFILE, "sourcefile", Shown, Dict, None, "--", "current source file := dictionary string i") \
  PEXO_OP(0x404C, ERROUTPUT, "erroutput", Shown, Int, None, "--", "the frame's error-output bits := i") \
  PEXO_PENDING(0x404D, POPLVNC, "poplvnc", Shown, Dict, None, PxLOCALIZED_TOKEN, 1, "text --", "add a token named by dictionary string i holding the text, for the next localized text") \
  PEXO_PENDING(0x404E, LOCALIZE, "localize", Shown, Dict, None, PxLOCALIZED, 0, "--", "write the localized text of key i in the current language, else the default one (nothing when neither has it)") \
  PEXO_PENDING(0x404F, LOCALIZEV, "localizev", Shown, Dict, None, PxLOCALIZED, 0, "-- s", "push the localized text of key i as a string (empty when neither language has it)") \
  PEXO_OP(0x4050, STDOUTPUT, "stdoutput", Shown, Int, None, "--", "the frame's and the output's whitespace mode := i") \
  PEXO_OP(0x4053, BINDG, "bindg", Hidden, Global, None, "t --", "global slot i holds t itself") \
  PEXO_OP(0x4054, BINDL, "bindl", Hidden, Local, None, "t --", "local slot i holds t itself") \
  PEXO_OP(0x4056, REFERNC, "refernc", Hidden, Dict, None, "t --", "as refern with dictionary string i as the name") \
  PEXO_PENDING(0x4101, IMPORT, "import", Shown, Label, None, PxIMPORT, 3, "file fields delimiter --", "PxIMPORT: start the loop with the first line in the fields; jump by i past the loop when the file cannot be read or has no line") \
  PEXO_PENDING(0x4102, IMPORTF, "importf", Shown, Label, None, PxIMPORT, 4, "file fields delimiter filter --", "as import, with only the lines that pass the filter expression") \
  PEXO_PENDING(0x4103, IMPORT_LOOP, "import_loop", Shown, Label, None, PxIMPORT, 0, "--", "end of the PxIMPORT body: the next (passing) line into the fields and jump by i back to the body, else end the loop") \
  PEXO_PENDING(0x4104, IMPORT_STOP, "import_stop", Shown, Label, None, PxIMPORTSTOP, 0, "--", "PxIMPORTSTOP: end the innermost import loop and jump by i past it") \
  PEXO_PENDING(0x4106, POP3, "pop3", Shown, Label, None, PxPOP, 4, "host user password directory --", "PxPOP: log in and retrieve the first message; jump by i past the loop on failure or an empty mailbox") \
  PEXO_PENDING(0x4107, POP3LOOP, "pop3loop", Shown, Label, None, PxPOP, 0, "--", "end of the PxPOP body: retrieve the next message and jump back by i, or end the loop") \
  PEXO_PENDING(0x4109, POP3STOP, "pop3stop", Shown, Label, None, PxPOPSTOP, 0, "--", "PxPOPSTOP: end the innermost PxPOP loop and jump by i past it") \
  PEXO_PENDING(0x410A, SMTP, "op_smtp", Shown, Label, None, PxSMTP, 5, "host port to from cc --", "PxSMTP: start the message (port an integer); the body's output becomes its text; jump by i past op_smtp_end on failure") \
  PEXO_PENDING(0x410C, HTTP, "op_http", Shown, Label, None, PxCALL, 5, "url method fields files type --", "PxCALL: send the request and expose the first object; jump by i past the loop on failure or an empty body. fields: variable names separated by commas; files: field=file[;content type] items separated by commas (data directory)") \
  PEXO_PENDING(0x410D, HTTP_LOOP, "op_http_loop", Shown, Label, None, PxCALL, 0, "--", "end of the PxCALL body: expose the next object and jump back by i, or end the call") \
  PEXO_PENDING(0x410E, HTTP_STOP, "op_http_stop", Shown, Label, None, PxCALLSTOP, 0, "--", "PxCALLSTOP: end the innermost PxCALL and jump by i past its loop") \
  PEXO_PENDING(0x410F, COMMERCE, "op_commerce", Shown, Label, None, PxCOMMERCE, 3, "method second fields --", "PxCOMMERCE: start the method's commerce loop; when it fails or says no pass, jump by i past the body") \
  PEXO_PENDING(0x4110, COMMERCE_LOOP, "op_commerce_loop", Shown, Label, None, PxCOMMERCE, 0, "--", "end of the PxCOMMERCE body: jump by i back to its start while the library asks for another pass") \
  PEXO_PENDING(0x4111, COMMERCE_STOP, "op_commerce_stop", Shown, Label, None, PxCOMMERCESTOP, 0, "--", "PxCOMMERCESTOP: end the innermost commerce loop and jump by i past its end") \
  PEXO_PENDING(0x4112, HTTPX, "op_httpx", Hidden, Label, None, PxCALL, 8, "url method fields files type headers certfile certdata --", "PxCALL with eight attributes, as op_http") \
  PEXO_PENDING(0x4115, ASYNC, "async", Hidden, Label, None, PxASYNCHRONOUS, 0, "--", "PxASYNCHRONOUS: run the next i bytes as a background task and jump over them") \
  PEXO_OP(0x5008, PUSHDC, "pushdc", Shown, Dict, Dict, "-- v", "as pushd with alias and field from the dictionary") \
  PEXO_OP(0x5010, POPDC, "popdc", Shown, Dict, Dict, "x --", "as popd with alias and field from the dictionary") \
  PEXO_OP(0x504B, TAGERROR, "tagerror", Shown, Int, Int, "--", "flags of tag i := j") \
  PEXO_OP(0x505C, SWAPN, "swapn", Hidden, Int, Int, "--", "exchange the entries at depths i and j") \
  PEXO_PENDING(0x5113, HTTPN, "op_httpn", Hidden, Label, Count, PxCALL, -1, "a1..aj --", "PxCALL with j attributes (5 to 14: op_httpx's, then certificate type, key, pinning algorithm, fingerprint, flags, time-out as an integer), as op_http") \
  PEXO_PENDING(0x5114, SMTPN, "op_smtpn", Hidden, Label, Count, PxSMTP, -1, "a1..aj --", "PxSMTP with j attributes (op_smtp's, then subject, flags, user, password; more are ignored), as op_smtp") \
  PEXO_PENDING(0x5117, ASYNCN, "asyncn", Hidden, Label, Count, PxASYNCHRONOUS, -1, "[isolation] --", "PxASYNCHRONOUS with j (0 or 1) attributes: the isolation text (system, global)") \
  PEXO_OP(0x5301, CMPGG, "cmpgg", Shown, Global, Global, "-- order", "comparison of global i with global j") \
  PEXO_OP(0x5302, CMPGI, "cmpgi", Shown, Global, Int, "-- order", "comparison of global i with the integer j") \
  PEXO_OP(0x5303, INCG, "incg", Shown, Global, Int, "--", "global i := its integer value + j") \
  PEXO_OP(0x5304, MODGG, "modgg", Shown, Global, Global, "-- r", "integer value of global i mod that of global j") \
  PEXO_OP(0x5305, STOREGI, "storegi", Shown, Global, Int, "--", "global i := the integer j") \
  PEXO_OP(0x8003, PUSHF, "pushf", Shown, Double, None, "-- d", "the double converted to a decimal")

#define PEXO_FUSION_LIST(PEXO_FUSION) \
  PEXO_FUSION(CAT, POPG, "v b --", "when v is global variable i, b's text is appended to v in place") \
  PEXO_FUSION(CAT, POPL, "v b --", "when v is local variable i, b's text is appended to v in place")

#endif  // PEXO_PROGRAM_OPCODE_LIST_H_
