#include "support/test_support.h"

#include <atomic>
#include <fstream>
#include <sstream>

#include <windows.h>

namespace qtest {

const std::filesystem::path& processRoot()
{
    static const std::filesystem::path root = [] {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        auto path = std::filesystem::path(temp) /
                    (L"qm-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()));
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
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
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
