#pragma once
// Folders and file names of the program. Relative paths resolve against the working folder,
// which is the program's own folder (it must hold "docs").
#include <filesystem>
#include <string>

namespace qtr {

// The per-user data folder: <roaming application data>/Quillmarsh. Built on first use (not
// during static construction, when the log does not exist yet).
const std::filesystem::path& dataFolder();
// <data folder>/parameters.xml
const std::filesystem::path& parametersXmlPath();

inline const std::filesystem::path docsFolder{"docs"};

} // namespace qtr
