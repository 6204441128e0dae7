// Feeds arbitrary bytes to the iMelody reader, with the checks of text_format_fuzz.h. The
// reader accepts what the writer cannot write: notes below MIDI 24 (a flat c in octave 0) and
// the halves of the shortest notes that staccato makes.
#include "imelody.h"
#include "text_format_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TextFormat kImelody{tonebridge::imelody::decode, tonebridge::imelody::encode,
                                     false};
    return fuzzTextFormat(kImelody, data, size);
}
