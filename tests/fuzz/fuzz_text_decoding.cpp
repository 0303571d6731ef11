// Feeds the bytes of a text file to the decoding that every line-list reader of user files
// uses: the encoding told by the first two bytes (UTF-16 either way, UTF-8 with mark, else
// 8-bit text), then the lines decoded to UTF-8.
#include "foundation/text_files.h"
#include "fuzz_support.h"

#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = qfuzz::asText(data, size);
    const qtr::TextEncoding encoding = qtr::gf_encodingOfMark(bytes);
    std::istringstream in{std::string(bytes)};
    std::vector<std::string> lines;
    (void)qtr::gf_decodeTextLines(encoding, in, lines);
    return 0;
}
