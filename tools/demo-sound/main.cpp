// speech-sample <file.wav>: writes the demo's speech-like sample (see SpeechLikeSample.h).
#include <cstdio>

#include "SpeechLikeSample.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: speech-sample <file.wav>\n");
        return 2;
    }
    if (!pex::demo::SpeechLikeSample::writeWav(argv[1])) {
        std::fprintf(stderr, "speech-sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
