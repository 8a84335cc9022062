// Memory for lists of millions of entries (the operation list of a large
// log).
//
// Filling hundreds of megabytes costs less in the bytes than in the first
// touch of every 4 KiB page and, for a growing std::vector, in the copies
// and the twice-as-large fresh blocks of every growth step. SegmentedVector
// keeps its entries in blocks of 2 MiB that never move, mapped on their own
// and, where the system offers it, backed by huge pages (512 small pages at
// one touch).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace tarnwick {

inline constexpr size_t kLargeBlockBytes = size_t{2} << 20;

// A block of kLargeBlockBytes, aligned to them. Throws std::bad_alloc.
void* AllocateLargeBlock();
void FreeLargeBlock(void* block) noexcept;
// Zeroed memory of at least `bytes` (whole large blocks), aligned and
// backed like a block. Freed with the same `bytes`. Throws std::bad_alloc.
void* AllocateLargeArea(size_t bytes);
void FreeLargeArea(void* area, size_t bytes) noexcept;

// A fixed number of zero-filled entries in one large area: for a hash
// table of millions of entries, whose every growth would otherwise touch a
// fresh twice-as-large vector 4 KiB at a time. Move-only.
template <class T>
class LargeZeroArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  LargeZeroArray() = default;
  explicit LargeZeroArray(size_t size)
      : data_(size == 0 ? nullptr : static_cast<T*>(AllocateLargeArea(Bytes(size)))), size_(size) {}
  ~LargeZeroArray() { FreeLargeArea(data_, Bytes(size_)); }
  LargeZeroArray(LargeZeroArray&& other) noexcept { swap(other); }
  LargeZeroArray& operator=(LargeZeroArray&& other) noexcept {
    LargeZeroArray(std::move(other)).swap(*this);
    return *this;
  }
  LargeZeroArray(const LargeZeroArray&) = delete;
  LargeZeroArray& operator=(const LargeZeroArray&) = delete;
  void swap(LargeZeroArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  static size_t Bytes(size_t size) {
    if (size > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return size * sizeof(T);
  }

  T* data_ = nullptr;
  size_t size_ = 0;
};

// A sequence of trivially copyable entries that grows without moving them.
// The first block grows like a vector's buffer (small lists stay small);
// the later ones are large blocks.
template <class T>
class SegmentedVector {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  static constexpr size_t kPerBlock = kLargeBlockBytes / sizeof(T);
  static_assert(kPerBlock > 0);

  template <bool kConst>
  class Iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = std::conditional_t<kConst, const T*, T*>;
    using reference = std::conditional_t<kConst, const T&, T&>;
    using Owner = std::conditional_t<kConst, const SegmentedVector, SegmentedVector>;

    Iterator() = default;
    Iterator(Owner* owner, size_t index) : owner_(owner), index_(index) {}
    operator Iterator<true>() const { return {owner_, index_}; }

    reference operator*() const { return (*owner_)[index_]; }
    pointer operator->() const { return &(*owner_)[index_]; }
    reference operator[](difference_type n) const { return (*owner_)[index_ + n]; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      ++index_;
      return old;
    }
    Iterator& operator--() {
      --index_;
      return *this;
    }
    Iterator operator--(int) {
      Iterator old = *this;
      --index_;
      return old;
    }
    Iterator& operator+=(difference_type n) {
      index_ += n;
      return *this;
    }
    Iterator& operator-=(difference_type n) {
      index_ -= n;
      return *this;
    }
    friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
    friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
    friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const Iterator& a, const Iterator& b) {
      return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }
    friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.index_ <=> b.index_; }

   private:
    Owner* owner_ = nullptr;
    size_t index_ = 0;
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;
  using value_type = T;

  SegmentedVector() = default;
  ~SegmentedVector() { clear(); }
  SegmentedVector(const SegmentedVector& other) {
    for (const T& value : other) push_back(value);
  }
  SegmentedVector& operator=(const SegmentedVector& other) {
    if (this != &other) {
      clear();
      for (const T& value : other) push_back(value);
    }
    return *this;
  }
  SegmentedVector(SegmentedVector&& other) noexcept { swap(other); }
  SegmentedVector& operator=(SegmentedVector&& other) noexcept {
    if (this != &other) {
      clear();
      swap(other);
    }
    return *this;
  }
  void swap(SegmentedVector& other) noexcept {
    blocks_.swap(other.blocks_);
    std::swap(size_, other.size_);
    std::swap(first_capacity_, other.first_capacity_);
    std::swap(junction_, other.junction_);
    std::swap(skip_, other.skip_);
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return *SlotAt(i < junction_ ? i : i + skip_); }
  const T& operator[](size_t i) const { return *SlotAt(i < junction_ ? i : i + skip_); }
  T& at(size_t i) {
    if (i >= size_) throw std::out_of_range("SegmentedVector::at");
    return (*this)[i];
  }
  const T& at(size_t i) const {
    if (i >= size_) throw std::out_of_range("SegmentedVector::at");
    return (*this)[i];
  }
  T& back() { return (*this)[size_ - 1]; }
  const T& back() const { return (*this)[size_ - 1]; }

  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

  void push_back(const T& value) {
    if (size_ == first_capacity_ && size_ < kPerBlock) GrowFirstBlock();
    // The place of the new entry among the blocks' slots.
    const size_t place = size_ < junction_ ? size_ : size_ + skip_;
    if (place >= kPerBlock && place % kPerBlock == 0)
      blocks_.push_back(static_cast<T*>(AllocateLargeBlock()));
    *SlotAt(place) = value;
    ++size_;
  }

  // Moves the entries of `later` to the end of this sequence, leaving it
  // empty. The large blocks of a long `later` are taken over, not copied:
  // the slots left free in this sequence's last block then lie between the
  // two parts, which indexing steps over (one such junction per sequence).
  // Otherwise the entries are copied.
  void Append(SegmentedVector&& later) {
    if (later.empty() || &later == this) return;
    if (empty()) {
      clear();
      swap(later);
      return;
    }
    if (junction_ != kNoJunction || later.junction_ != kNoJunction || later.size_ < kPerBlock) {
      for (const T& value : later) push_back(value);
      later.clear();
      return;
    }
    // later's first block is a full one from GrowFirstBlock; it becomes a
    // large block like the others, so that clear frees every block alike.
    T* first = static_cast<T*>(AllocateLargeBlock());
    std::memcpy(static_cast<void*>(first), later.blocks_[0], kPerBlock * sizeof(T));
    ::operator delete(later.blocks_[0]);
    later.blocks_[0] = first;
    const size_t skip = blocks_.size() * kPerBlock - size_;
    blocks_.insert(blocks_.end(), later.blocks_.begin(), later.blocks_.end());
    junction_ = size_;
    skip_ = skip;
    size_ += later.size_;
    later.blocks_.clear();
    later.size_ = 0;
    later.first_capacity_ = 0;
  }

  // Drops every entry and gives all memory back.
  void clear() {
    for (size_t b = 0; b < blocks_.size(); ++b) {
      if (b == 0) {
        ::operator delete(blocks_[0]);
      } else {
        FreeLargeBlock(blocks_[b]);
      }
    }
    blocks_.clear();
    blocks_.shrink_to_fit();
    size_ = 0;
    first_capacity_ = 0;
    junction_ = kNoJunction;
    skip_ = 0;
  }

 private:
  static constexpr size_t kNoJunction = SIZE_MAX;

  T* SlotAt(size_t place) const { return blocks_[place / kPerBlock] + place % kPerBlock; }

  void GrowFirstBlock() {
    const size_t capacity = std::min(kPerBlock, std::max<size_t>(16, 2 * first_capacity_));
    T* block = static_cast<T*>(::operator new(capacity * sizeof(T)));
    if (!blocks_.empty()) {
      std::memcpy(static_cast<void*>(block), blocks_[0], size_ * sizeof(T));
      ::operator delete(blocks_[0]);
      blocks_[0] = block;
    } else {
      blocks_.push_back(block);
    }
    first_capacity_ = capacity;
  }

  std::vector<T*> blocks_;
  size_t size_ = 0;
  size_t first_capacity_ = 0;
  // Entries from index junction_ on lie skip_ slots further on (Append).
  size_t junction_ = kNoJunction;
  size_t skip_ = 0;
};

}  // namespace tarnwick
