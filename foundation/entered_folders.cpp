#include "foundation/entered_folders.h"

namespace qtr {

EnteredFolders::EnteredFolders(const std::filesystem::path& root)
    : rootLocation_(gf_folderLocation(root).value_or(root))
{
    entered_.insert(rootLocation_.native());
}

std::optional<std::filesystem::path> EnteredFolders::enter(const std::filesystem::path& parentLocation,
                                                           const FolderEntry& entry)
{
    std::filesystem::path location;
    if (entry.isLink)
        location = gf_folderLocation(entry.path).value_or(parentLocation / entry.name);
    else
        location = parentLocation / entry.name;
    if (!entered_.insert(location.native()).second) return std::nullopt;
    return location;
}

} // namespace qtr
