#include "foundation/output_file.h"

#include <utility>

namespace qtr {

OutputFile::OutputFile(const std::filesystem::path& path, Mode mode)
{
#ifdef _WIN32
    if (_wfopen_s(&file_, path.c_str(), mode == Mode::append ? L"ab" : L"wb") != 0) file_ = nullptr;
#else
    file_ = std::fopen(path.c_str(), mode == Mode::append ? "ab" : "wb");
#endif
}

bool OutputFile::close()
{
    std::FILE* const file = std::exchange(file_, nullptr);
    return file == nullptr || std::fclose(file) == 0;
}

} // namespace qtr
