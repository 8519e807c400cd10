/* A commerce library for the commerce-tag tests, built only against the
 * public header. It writes a record of every call into the page:
 *   [init METHOD SECOND n=FIELDS]  [loop PASS]  [cleanup PASSES]
 * The second text steers it (words separated by blanks):
 *   passes=N   loop answers 0 (run the body) for passes 0..N-1, then 2
 *   fail_at=K  loop answers 1 (failure) at pass K
 *   init=fail  init answers 1
 * Each loop call sets every field to "pass<P>" and the global shop_calls to
 * the number of loop calls so far. The state word holds the tag's own
 * counters from init to cleanup. Built a second time with
 * SHOP_LOOSE_ENTRIES (shop_loose.c) it exports the four entries instead of
 * the descriptor. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "pexo/pexo.h"

typedef struct ShopState {
  int passes;
  int fail_at;
  int calls;
  char error[64];
} ShopState;

static void say(PexoProgram *program, const char *text) {
  pxProgram_Output(program, text, (int32_t)strlen(text));
}

static int option(const char *second, const char *name, int fallback) {
  const char *at = strstr(second, name);
  return at ? atoi(at + strlen(name)) : fallback;
}

static int shop_init(PexoProgram *program, void **state, const char *method, const char *second,
                     PexoVariableList *fields, PexoVariableHash *globals) {
  char line[256];
  ShopState *shop;
  (void)globals;
  snprintf(line, sizeof line, "[init %s %s n=%d]", method, second,
           (int)pxVariableList_Entries(fields));
  say(program, line);
  if (*state != NULL) return 1; /* every tag starts with its own empty word */
  if (strstr(second, "init=fail")) return 1;
  shop = (ShopState *)calloc(1, sizeof *shop);
  if (!shop) return 1;
  shop->passes = option(second, "passes=", 0);
  shop->fail_at = option(second, "fail_at=", -1);
  *state = shop;
  return 0;
}

static int shop_loop(PexoProgram *program, void **state, const char *method, const char *second,
                     PexoVariableList *fields, PexoVariableHash *globals, int32_t pass) {
  ShopState *shop = (ShopState *)*state;
  char line[64];
  PexoVariable *field;
  (void)method;
  (void)second;
  snprintf(line, sizeof line, "[loop %d]", (int)pass);
  say(program, line);
  if (!shop) return 1;
  shop->calls++;
  snprintf(line, sizeof line, "%d", shop->calls);
  pxVariableHash_SetVariable(globals, "shop_calls", -1, line, -1);
  snprintf(line, sizeof line, "pass%d", (int)pass);
  for (field = pxVariableList_First(fields); field; field = pxVariableList_Next(fields))
    pxVariable_SetValue(field, line, -1);
  if (pass == shop->fail_at) {
    snprintf(shop->error, sizeof shop->error, "gateway down at pass %d", (int)pass);
    return 1;
  }
  return pass < shop->passes ? 0 : 2;
}

static void shop_cleanup(PexoProgram *program, void **state, const char *method,
                         const char *second, PexoVariableList *fields) {
  ShopState *shop = (ShopState *)*state;
  char line[64];
  (void)method;
  (void)second;
  (void)fields;
  snprintf(line, sizeof line, "[cleanup %d]", shop ? shop->calls : -1);
  say(program, line);
  free(shop);
  *state = NULL;
}

static const char *shop_error(PexoProgram *program, void **state, const char *method,
                              const char *second, PexoVariableList *fields) {
  ShopState *shop = (ShopState *)*state;
  (void)program;
  (void)method;
  (void)second;
  (void)fields;
  return shop ? shop->error : "card declined";
}

#ifdef SHOP_LOOSE_ENTRIES
PEXO_API int pexo_commerce_init(PexoProgram *p, void **s, const char *m, const char *t,
                                PexoVariableList *f, PexoVariableHash *g) {
  return shop_init(p, s, m, t, f, g);
}
PEXO_API int pexo_commerce_loop(PexoProgram *p, void **s, const char *m, const char *t,
                                PexoVariableList *f, PexoVariableHash *g, int32_t pass) {
  return shop_loop(p, s, m, t, f, g, pass);
}
PEXO_API void pexo_commerce_cleanup(PexoProgram *p, void **s, const char *m, const char *t,
                                    PexoVariableList *f) {
  shop_cleanup(p, s, m, t, f);
}
PEXO_API const char *pexo_commerce_error(PexoProgram *p, void **s, const char *m, const char *t,
                                         PexoVariableList *f) {
  return shop_error(p, s, m, t, f);
}
#else
static const PxCommerceLibrary kShop = {0, shop_init, shop_loop, shop_cleanup, shop_error};

PEXO_API const PxCommerceLibrary *pexo_commerce_library(void) { return &kShop; }
#endif
