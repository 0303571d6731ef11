#pragma once
// Shared helpers of the test executables. Every test process runs in a fresh folder of its own
// (a program folder with "docs") with its application-data folders redirected below it.
#include <filesystem>
#include <functional>
#include <string>

namespace qtest {

// The folder this test process runs in (its working folder at start).
const std::filesystem::path& processRoot();
// A new empty folder below the process root.
std::filesystem::path freshFolder(const std::string& name);
// Reads a whole file as bytes ("" when missing).
std::string readFile(const std::filesystem::path& path);
// The line end of a file written in text mode on this system.
#ifdef _WIN32
inline constexpr const char* textLineEnd = "\r\n";
#else
inline constexpr const char* textLineEnd = "\n";
#endif
void writeFile(const std::filesystem::path& path, const std::string& bytes);
// A folder link at link leading to target (as users lay out Community with links); false when
// the system cannot make one.
bool folderLink(const std::filesystem::path& link, const std::filesystem::path& target);
// Writes "old content" into the file, gives it a second name (a hard link), runs write and gives
// what the second name then holds: still "old content" when write put a new file in its place,
// the new bytes when it truncated and rewrote the old file in place (where a crash between the
// two steps empties the file).
std::string oldFileAfter(const std::filesystem::path& file, const std::function<void()>& write);
// Copies a folder tree file by file (Wine's copy of a whole tree from a Unix path fails).
void copyTree(const std::filesystem::path& from, const std::filesystem::path& to);

// Changes the working folder for the lifetime of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::filesystem::path& folder);
    ~ScopedCwd();

private:
    std::filesystem::path previous_;
};

} // namespace qtest
