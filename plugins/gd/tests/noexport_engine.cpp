// A stand-in engine library that loads but offers no working entry point.
#include "tonebridge/plugin_api.h"

extern "C" TB_EXPORT int32_t GetKindOfDLL(void) {
    return TB_KIND_OTHER;
}
