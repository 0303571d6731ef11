#include "support/test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace qtest {

namespace {
// The temporary folder and a name no other test process uses at the same time.
#ifdef _WIN32
std::filesystem::path uniqueRootFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::filesystem::path(temp) /
           (L"qm-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()));
}
#else
std::filesystem::path uniqueRootFolder()
{
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::filesystem::temp_directory_path() /
           ("qm-test-" + std::to_string(::getpid()) + "-" + std::to_string(ticks));
}
#endif
} // namespace

const std::filesystem::path& processRoot()
{
    static const std::filesystem::path root = [] {
        auto path = uniqueRootFolder();
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path / "program" / "docs");
        std::filesystem::create_directories(path / "appdata" / "Roaming");
        std::filesystem::create_directories(path / "appdata" / "Local");
        return path;
    }();
    return root;
}

std::filesystem::path freshFolder(const std::string& name)
{
    static std::atomic<int> counter{0};
    auto path = processRoot() / "scratch" / (name + "-" + std::to_string(++counter));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool folderLink(const std::filesystem::path& link, const std::filesystem::path& target)
{
    std::error_code ec;
    std::filesystem::create_directory_symlink(target, link, ec);
    return !ec && std::filesystem::is_directory(link, ec);
}

std::string oldFileAfter(const std::filesystem::path& file, const std::function<void()>& write)
{
    writeFile(file, "old content");
    std::filesystem::path held = file;
    held += ".held";
    std::filesystem::remove(held);
    std::filesystem::create_hard_link(file, held);
    write();
    const std::string bytes = readFile(held);
    std::filesystem::remove(held);
    return bytes;
}

ScopedCwd::ScopedCwd(const std::filesystem::path& folder) : previous_(std::filesystem::current_path())
{
    std::filesystem::current_path(folder);
}

ScopedCwd::~ScopedCwd() { std::filesystem::current_path(previous_); }

void copyTree(const std::filesystem::path& from, const std::filesystem::path& to)
{
    for (const auto& e : std::filesystem::recursive_directory_iterator(from)) {
        // The entry's path begins with the root as written; relative() would need it canonical.
        const auto target = to / std::filesystem::path(e.path().native().substr(from.native().size() + 1));
        if (e.is_directory()) {
            std::filesystem::create_directories(target);
            continue;
        }
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy_file(e.path(), target);
    }
}

} // namespace qtest
