/* The test commerce library with four loose entries instead of the
 * descriptor table. */
#define SHOP_LOOSE_ENTRIES
#include "shop.c"
