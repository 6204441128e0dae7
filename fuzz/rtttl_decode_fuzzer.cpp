// Feeds arbitrary bytes to the RTTTL reader, with the checks of text_format_fuzz.h.
#include "rtttl.h"
#include "text_format_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TextFormat kRtttl{tonebridge::rtttl::decode, tonebridge::rtttl::encode, true};
    return fuzzTextFormat(kRtttl, data, size);
}
