#include "foundation/errors.h"

#include <fmt/format.h>

namespace qtr {

static std::string userErrorText(int code, const std::string& message)
{
    if (code == 99) return message;
    return fmt::format("{}: ", code) + message;
}

UserErrorException::UserErrorException(int code, const std::string& message)
    : std::runtime_error(userErrorText(code, message))
{
}

} // namespace qtr
