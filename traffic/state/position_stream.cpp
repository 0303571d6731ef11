#include "traffic/state/position_stream.h"

#include <utility>

namespace qtr {

PositionStream::PositionStream(PositionStream&& other) noexcept
    : slots_(std::move(other.slots_)), head_(std::exchange(other.head_, 0)), count_(std::exchange(other.count_, 0))
{
    other.slots_.clear();
}

PositionStream& PositionStream::operator=(PositionStream&& other) noexcept
{
    slots_ = std::move(other.slots_);
    other.slots_.clear();
    head_ = std::exchange(other.head_, 0);
    count_ = std::exchange(other.count_, 0);
    return *this;
}

void PositionStream::growIfFull()
{
    if (count_ < slots_.size()) return;
    std::vector<Position> grown(slots_.empty() ? 16 : 2 * slots_.size());
    for (std::size_t i = 0; i < count_; ++i) grown[i] = (*this)[i];
    slots_ = std::move(grown);
    head_ = 0;
}

void PositionStream::push_back(const Position& p)
{
    growIfFull();
    ++count_;
    back() = p;
}

void PositionStream::push_front(const Position& p)
{
    growIfFull();
    head_ = (head_ + slots_.size() - 1) & (slots_.size() - 1);
    ++count_;
    front() = p;
}

void PositionStream::pop_front()
{
    head_ = slot(1);
    --count_;
}

void PositionStream::pop_back() { --count_; }

void PositionStream::clear()
{
    head_ = 0;
    count_ = 0;
}

void PositionStream::resize(std::size_t n)
{
    while (count_ > n) pop_back();
    while (count_ < n) push_back(Position{});
}

PositionStream::iterator PositionStream::insert(const_iterator pos, const Position& p)
{
    const auto at = static_cast<std::size_t>(pos.index());
    push_back(p);
    for (std::size_t i = count_ - 1; i > at; --i) std::swap((*this)[i], (*this)[i - 1]);
    return iterator(this, pos.index());
}

PositionStream::iterator PositionStream::erase(const_iterator pos) { return erase(pos, pos + 1); }

PositionStream::iterator PositionStream::erase(const_iterator first, const_iterator last)
{
    const auto from = static_cast<std::size_t>(first.index());
    const auto gap = static_cast<std::size_t>(last - first);
    for (std::size_t i = from; i + gap < count_; ++i) (*this)[i] = (*this)[i + gap];
    count_ -= gap;
    return iterator(this, first.index());
}

} // namespace qtr
