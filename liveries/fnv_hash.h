#pragma once
// The hash of the livery and type tables: FNV-1a over the key's bytes. Transparent, so that a
// lookup by string_view needs no temporary string.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qtr {

struct Fnv1aHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const noexcept
    {
        std::uint64_t h = 14695981039346656037ull;
        for (const char c : key) {
            h ^= static_cast<unsigned char>(c);
            h *= 1099511628211ull;
        }
        return static_cast<std::size_t>(h);
    }
};

template <class Value>
using FnvMap = std::unordered_map<std::string, Value, Fnv1aHash, std::equal_to<>>;

} // namespace qtr
