/* A commerce library that exports only one of the four entries. */
#include "pexo/pexo.h"

PEXO_API int pexo_commerce_init(PexoProgram *program, void **state, const char *method,
                                const char *second, PexoVariableList *fields,
                                PexoVariableHash *globals) {
  (void)program;
  (void)state;
  (void)method;
  (void)second;
  (void)fields;
  (void)globals;
  return 0;
}
