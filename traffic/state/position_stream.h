#pragma once
// The stream of timed positions of a live aircraft: a ring buffer with the operations of a
// deque that the motion code uses. Positions flow through it all the time (reports append,
// every reached point is dropped from the front); a deque frees and allocates a block every few
// positions, inside the tick pass. The ring keeps its slots, so once it has grown to the
// longest stream an aircraft had, taking positions in and dropping them costs no heap call.
#include "foundation/flight_record.h"

#include <compare>
#include <cstddef>
#include <iterator>
#include <vector>

namespace qtr {

class PositionStream {
    template <bool Const>
    class Iterator {
        using Owner = std::conditional_t<Const, const PositionStream, PositionStream>;

    public:
        using iterator_category = std::random_access_iterator_tag;
        using iterator_concept = std::random_access_iterator_tag;
        using value_type = Position;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<Const, const Position*, Position*>;
        using reference = std::conditional_t<Const, const Position&, Position&>;

        Iterator() = default;
        Iterator(Owner* owner, difference_type index) : owner_(owner), index_(index) {}
        operator Iterator<true>() const { return Iterator<true>(owner_, index_); }

        reference operator*() const { return (*owner_)[static_cast<std::size_t>(index_)]; }
        pointer operator->() const { return &**this; }
        reference operator[](difference_type n) const { return *(*this + n); }
        Iterator& operator++()
        {
            ++index_;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator old = *this;
            ++index_;
            return old;
        }
        Iterator& operator--()
        {
            --index_;
            return *this;
        }
        Iterator operator--(int)
        {
            Iterator old = *this;
            --index_;
            return old;
        }
        Iterator& operator+=(difference_type n)
        {
            index_ += n;
            return *this;
        }
        Iterator& operator-=(difference_type n)
        {
            index_ -= n;
            return *this;
        }
        friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
        friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
        friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const Iterator& a, const Iterator& b) { return a.index_ - b.index_; }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }
        friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.index_ <=> b.index_; }
        difference_type index() const { return index_; }

    private:
        Owner* owner_ = nullptr;
        difference_type index_ = 0;
    };

public:
    using value_type = Position;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    using reference = Position&;
    using const_reference = const Position&;
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    PositionStream() = default;
    PositionStream(const PositionStream&) = default;
    PositionStream& operator=(const PositionStream&) = default;
    // A moved-from stream is empty (its slots went with the move).
    PositionStream(PositionStream&& other) noexcept;
    PositionStream& operator=(PositionStream&& other) noexcept;
    ~PositionStream() = default;

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Positions the stream holds without growing.
    std::size_t capacity() const { return slots_.size(); }

    Position& operator[](std::size_t i) { return slots_[slot(i)]; }
    const Position& operator[](std::size_t i) const { return slots_[slot(i)]; }
    Position& front() { return (*this)[0]; }
    const Position& front() const { return (*this)[0]; }
    Position& back() { return (*this)[count_ - 1]; }
    const Position& back() const { return (*this)[count_ - 1]; }

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, static_cast<difference_type>(count_)); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, static_cast<difference_type>(count_)); }

    void push_back(const Position& p);
    void push_front(const Position& p);
    void pop_front();
    void pop_back();
    void clear();
    // Keeps the first n positions, or appends default positions up to n.
    void resize(std::size_t n);
    // Inserts before pos; returns the inserted position's iterator.
    iterator insert(const_iterator pos, const Position& p);
    iterator erase(const_iterator pos);
    iterator erase(const_iterator first, const_iterator last);

private:
    // The slot count is a power of two, so the wrap is a mask.
    std::size_t slot(std::size_t i) const { return (head_ + i) & (slots_.size() - 1); }
    void growIfFull();

    std::vector<Position> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

} // namespace qtr
