#include "foundation/paths.h"

#include "foundation/win_text.h"

namespace qtr {

const std::filesystem::path& dataFolder()
{
    static const std::filesystem::path folder = getAppDataPath() / "Quillmarsh";
    return folder;
}

const std::filesystem::path& parametersXmlPath()
{
    static const std::filesystem::path path = dataFolder() / "parameters.xml";
    return path;
}

} // namespace qtr
