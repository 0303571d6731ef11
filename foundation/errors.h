#pragma once
// Error types shared by the whole program.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace qtr {

// A fault the user must see or act on. The code is folded into the text ("41: message");
// code 99 (a new program version) shows the message alone.
class UserErrorException : public std::runtime_error {
public:
    UserErrorException(int code, const std::string& message);
};

} // namespace qtr

namespace win32 {

// A failed UTF-8 <-> UTF-16 conversion. direction: 0 = UTF-8 to UTF-16, 1 = UTF-16 to UTF-8.
class Utf8ConversionException : public std::runtime_error {
public:
    Utf8ConversionException(const std::string& message, std::uint32_t errorCode, std::uint32_t direction)
        : std::runtime_error(message), errorCode_(errorCode), direction_(direction)
    {
    }
    std::uint32_t errorCode() const noexcept { return errorCode_; }
    std::uint32_t direction() const noexcept { return direction_; }
    static constexpr std::uint32_t fromUtf8 = 0;
    static constexpr std::uint32_t fromUtf16 = 1;

private:
    std::uint32_t errorCode_;
    std::uint32_t direction_;
};

} // namespace win32
