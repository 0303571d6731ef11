#pragma once
// A C file written in binary, closed by its owner on every way out (an exception included).
// The close is also the last write of the buffered bytes, so a caller that must know the file
// is whole closes it explicitly and reads the result; the destructor's close can only drop it.
#include <cstdio>
#include <filesystem>

namespace qtr {

class OutputFile {
public:
    enum class Mode { replace, append }; // "wb": starts from empty, "ab": adds to the end
    // Opened by the path's own characters (wide on Windows, so that any folder name works);
    // isOpen() says whether it could be.
    OutputFile(const std::filesystem::path& path, Mode mode);
    ~OutputFile() { close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    std::FILE* get() const { return file_; }
    // Closes now; false when the close failed, which means bytes still buffered were not
    // written. True when nothing was open.
    bool close();

private:
    std::FILE* file_ = nullptr;
};

} // namespace qtr
