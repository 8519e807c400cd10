/* A function library for the machine's external-call tests, built only
 * against the public header. Functions:
 *   join(a, b)          a followed by b
 *   bump(var n, step)   n += step, result: the new value
 *   tally()             counts its calls in private data (freed at shutdown)
 *   callback()          uses the program handle: variables, output, a script
 *                       function and a dynamic expression
 *   run(name, arg)      runs the script function `name` with one argument
 *   peek(name)          the text of the variable `name` as the program sees it
 *   keep()              the same result variable text every time: "kept"
 *   alias(name, value)  makes the program's variable `name` refer to its own
 *                       parameter variable `value` (which it then holds)
 *   grab(name, value)   makes its own parameter variable `value` refer to the
 *                       program's variable `name`; result: `value` after that
 *   nest(name, arg)     runs the script function `name` with `arg`, then
 *                       reads `arg` again: the run's result "/" arg
 * Tests read the shutdown record through vmcalls_shutdowns(). */
#include <stdlib.h>
#include <string.h>

#include "pexo/pexo.h"

static int shutdowns_;
static int tally_at_shutdown_;

PEXO_API int vmcalls_shutdowns(void) { return shutdowns_; }
PEXO_API int vmcalls_tally_at_shutdown(void) { return tally_at_shutdown_; }

static PexoVariable *param(PexoVariableHash *parameters, int32_t index) {
  return pxVariableHash_Index(parameters, index);
}

static void join(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                 void **data) {
  int32_t a_length = 0, b_length = 0;
  const char *a = pxVariable_Value(param(parameters, 0), &a_length);
  const char *b = pxVariable_Value(param(parameters, 1), &b_length);
  char *joined = (char *)malloc((size_t)a_length + (size_t)b_length + 1);
  (void)program;
  (void)data;
  memcpy(joined, a, (size_t)a_length);
  memcpy(joined + a_length, b, (size_t)b_length);
  joined[a_length + b_length] = 0;
  pxVariable_SetValue(result, joined, a_length + b_length);
  free(joined);
}

static void bump(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                 void **data) {
  PexoVariable *n = param(parameters, 0);
  int32_t value = pxVariable_Value_Integer(n) + pxVariable_Value_Integer(param(parameters, 1));
  (void)program;
  (void)data;
  pxVariable_SetValue_Integer(n, value);
  pxVariable_SetValue_Integer(result, value);
}

static void tally(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                  void **data) {
  int *count;
  if (!program) { /* shutdown: free the private data */
    ++shutdowns_;
    if (parameters || result) tally_at_shutdown_ = -1;
    else tally_at_shutdown_ = *data ? *(int *)*data : 0;
    free(*data);
    *data = NULL;
    return;
  }
  if (!*data) *data = calloc(1, sizeof(int));
  count = (int *)*data;
  pxVariable_SetValue_Integer(result, ++*count);
}

static void set_global(PexoProgram *program, const char *name, PexoVariable *from) {
  PexoVariable *target = pxProgram_Lookup_Variable(program, name, -1);
  if (target) pxVariable_SetValue_Variable(target, from);
}

static void callback(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                     void **data) {
  PexoVariable *counter = pxProgram_Lookup_Variable(program, "g.counter", -1);
  PexoVariableList *arguments = pxVariableList_Allocate();
  PexoVariable *argument = pxVariable_Allocate("n", -1, "21", -1);
  PexoVariable *value = pxVariable_Allocate("value", -1, "", 0);
  PexoCode *code;
  char *error = NULL;
  int32_t error_length = 0;
  int truth = -1;
  (void)parameters;
  (void)data;

  if (counter) pxVariable_SetValue_Integer(counter, pxVariable_Value_Integer(counter) + 1);
  pxProgram_Output(program, "[from library]", -1);

  pxVariableList_Insert(arguments, argument);
  pxVariable_Free(argument);
  if (pxProgram_RunFunction(program, "twice", -1, arguments, value))
    set_global(program, "g.via_function", value);
  pxVariableList_Free(arguments);

  code = pxProgram_Compile_Dynamic_Expression(program, "counter * 10 + 1", -1, &error,
                                              &error_length);
  if (code && pxProgram_Execute_Dynamic_Expression(program, code, NULL, value))
    set_global(program, "g.via_expression", value);
  if (code && pxProgram_Execute_Dynamic_Expression_Boolean(program, code, NULL, &truth))
    pxVariable_SetValue_Integer(value, truth);
  set_global(program, "g.via_truth", value);
  pxProgram_Free(program, error);

  code = pxProgram_Compile_Dynamic_Expression(program, "(1 + ", -1, &error, &error_length);
  if (!code && error) {
    pxVariable_SetValue(value, error, error_length);
    set_global(program, "g.compile_error", value);
    pxProgram_Free(program, error);
  }
  pxVariable_Free(value);
  pxVariable_SetValue(result, "done", -1);
}

static void run(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                void **data) {
  int32_t length = 0;
  const char *name = pxVariable_Value(param(parameters, 0), &length);
  PexoVariableList *arguments = pxVariableList_Allocate();
  (void)data;
  pxVariableList_Insert(arguments, param(parameters, 1));
  if (!pxProgram_RunFunction(program, name, length, arguments, result))
    pxVariable_SetValue(result, "failed", -1);
  pxVariableList_Free(arguments);
}

static void peek(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                 void **data) {
  int32_t length = 0;
  const char *name = pxVariable_Value(param(parameters, 0), &length);
  PexoVariable *found = pxProgram_Lookup_Variable(program, name, length);
  (void)data;
  pxVariable_SetValue(result, found ? pxVariable_Value(found, NULL) : "<none>", -1);
}

static void keep(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                 void **data) {
  (void)program;
  (void)parameters;
  (void)data;
  pxVariable_SetValue(result, "kept", -1);
}

static void alias(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                  void **data) {
  int32_t length = 0;
  const char *name = pxVariable_Value(param(parameters, 0), &length);
  PexoVariable *found = pxProgram_Lookup_Variable(program, name, length);
  (void)data;
  pxVariable_SetValue_Integer(result, found && pxVariable_Make_Reference(found, param(parameters, 1)));
}

static void grab(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                 void **data) {
  int32_t length = 0;
  const char *name = pxVariable_Value(param(parameters, 0), &length);
  PexoVariable *found = pxProgram_Lookup_Variable(program, name, length);
  (void)data;
  if (found) pxVariable_Make_Reference(param(parameters, 1), found);
  pxVariable_SetValue_Variable(result, param(parameters, 1));
}

static void nest(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                 void **data) {
  int32_t length = 0, arg_length = 0;
  const char *name = pxVariable_Value(param(parameters, 0), &length);
  PexoVariableList *arguments = pxVariableList_Allocate();
  PexoVariable *value = pxVariable_Allocate("value", -1, "", 0);
  const char *ran, *arg;
  char *joined;
  int32_t ran_length = 0;
  (void)data;
  pxVariableList_Insert(arguments, param(parameters, 1));
  if (!pxProgram_RunFunction(program, name, length, arguments, value))
    pxVariable_SetValue(value, "failed", -1);
  pxVariableList_Free(arguments);
  ran = pxVariable_Value(value, &ran_length);
  arg = pxVariable_Value(param(parameters, 1), &arg_length);
  joined = (char *)malloc((size_t)ran_length + (size_t)arg_length + 2);
  memcpy(joined, ran, (size_t)ran_length);
  joined[ran_length] = '/';
  memcpy(joined + ran_length + 1, arg, (size_t)arg_length);
  pxVariable_SetValue(result, joined, ran_length + 1 + arg_length);
  free(joined);
  pxVariable_Free(value);
}

static const PxParameterDescriptor two_values[] = {{"a", 1, 0}, {"b", 1, 0}};
static const PxParameterDescriptor bump_parameters[] = {{"n", 1, PX_PARAMETER_BY_REFERENCE},
                                                        {"step", 4, 0}};
static const PxParameterDescriptor run_parameters[] = {{"name", 4, 0}, {"arg", 3, 0}};
static const PxParameterDescriptor one_name[] = {{"name", 4, 0}};

static const PxFunctionDescriptor functions[] = {
    {"join", 4, 2, two_values, join},
    {"bump", 4, 2, bump_parameters, bump},
    {"tally", 5, 0, NULL, tally},
    {"callback", 8, 0, NULL, callback},
    {"run", 3, 2, run_parameters, run},
    {"peek", 4, 1, one_name, peek},
    {"keep", 4, 0, NULL, keep},
    {"alias", 5, 2, two_values, alias},
    {"grab", 4, 2, two_values, grab},
    {"nest", 4, 2, two_values, nest},
    {NULL, 0, 0, NULL, NULL},
};
static const PxFunctionTable table = {0, functions};

PEXO_API const PxFunctionTable *pexo_function_table(void) { return &table; }
