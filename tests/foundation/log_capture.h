#pragma once
// Captures what a test writes to the program log: opens a fresh log in a folder of its own and
// gives back the lines after the banner.
#include "foundation/log.h"
#include "support/test_support.h"

#include <string>
#include <vector>

namespace qtest {

class LogCapture {
public:
    explicit LogCapture(const std::string& name) : folder_(freshFolder(name)), cwd_(folder_) { qtr::gf_startLog(); }
    ~LogCapture() { qtr::closeLog(); }

    // Closes the log and returns its lines without the banner and without line ends.
    std::vector<std::string> lines()
    {
        qtr::closeLog();
        std::vector<std::string> result;
        const std::string text = readFile(folder_ / "Log.txt");
        std::size_t pos = text.find('\n');
        while (pos != std::string::npos && pos + 1 < text.size()) {
            const std::size_t end = text.find('\n', pos + 1);
            std::string line = text.substr(pos + 1, end - pos - 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            result.push_back(line);
            pos = end;
        }
        return result;
    }

private:
    std::filesystem::path folder_;
    ScopedCwd cwd_;
};

} // namespace qtest
