// The four global objects of the library, in one unit so that their order is fixed: they are
// constructed in this order before the program's entry runs and destroyed in the reverse order.
#include "ZEL_SYSTEM/ZDebug.h"
#include "ZEL_UTIL/ZApplicationBasic.h"
#include "ZEL_UTIL/ZError.h"
#include "ZEL_UTIL/ZLanguage.h"

ZApplicationBasic zelApplication;
ZError zelError;
ZLanguage zelLanguage;
ZDebug zelDebug;
