// libFuzzer target: bytes in as an input file, through the whole transcode.
#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    besweet::fuzz::runInput({data, size});
    return 0;
}
