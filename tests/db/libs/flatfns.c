/* A function library for the import tests' filters, built only against the
 * public header. Functions:
 *   width(a)   the number of bytes in a */
#include "pexo/pexo.h"

static void width(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                  void **data) {
  int32_t length = 0;
  (void)program;
  (void)data;
  pxVariable_Value(pxVariableHash_Index(parameters, 0), &length);
  pxVariable_SetValue_Integer(result, length);
}

static const PxParameterDescriptor one_value[] = {{"a", 1, 0}};

static const PxFunctionDescriptor functions[] = {
    {"width", 5, 1, one_value, width},
    {NULL, 0, 0, NULL, NULL},
};
static const PxFunctionTable table = {0, functions};

PEXO_API const PxFunctionTable *pexo_function_table(void) { return &table; }
