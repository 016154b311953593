// libebd.so is the whole library core behind its C interface (lib/ebd.h); the
// core itself is linked in as a whole archive. This unit only anchors the
// shared library target.
#include "lib/ebd.h"
