#pragma once
// A value for each of a few small numbers (an aircraft category, a phase, a state), written as
// {number, value} rows and read by plain indexing: the motion reads several of them for every
// stream point it reaches, where a hash map's lookups were a tenth of the work. Reading a number
// without a row throws std::out_of_range, as the map did.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <utility>

namespace qtr {

template <class T>
class CategoryTable {
public:
    static constexpr std::size_t capacity = 16;

    CategoryTable(std::initializer_list<std::pair<std::uint32_t, T>> rows)
    {
        for (const auto& [key, value] : rows) {
            if (key >= capacity) throw std::out_of_range("category table key beyond its capacity");
            values_[key] = value;
            present_[key] = true;
        }
    }

    const T& operator[](std::uint32_t key) const
    {
        // The text the hash map gave, which the log lines and callers know.
        if (key >= capacity || !present_[key]) throw std::out_of_range("invalid unordered_map<K, T> key");
        return values_[key];
    }

private:
    std::array<T, capacity> values_{};
    std::array<bool, capacity> present_{};
};

template <class T>
const T& lookup(const CategoryTable<T>& table, std::uint32_t category)
{
    return table[category];
}

} // namespace qtr
