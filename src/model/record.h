// Record: a raw source row, as an event keeps it. The rows of one database query live flat
// in one RowBlock (texts back to back in large chunks, an offset and a length beside each);
// a row built by code (the values of an inbox thread) keeps the value list it was given.
// A Record is a handle to one row: copies name the very same row, so a change made
// through one (the normalised address) is seen through every other.
//
// Ownership: a Record shares its block; the block lives while any of its rows is held.
// Threads: a block is filled on one thread and only read afterwards, except that a row's
// owner may replace its texts before handing the row on. No lock.
#ifndef OVRA_MODEL_RECORD_H_
#define OVRA_MODEL_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/large_block.h"
#include "json/value.h"

namespace ovra::model {

class RowBlock {
 public:
  // Rows of `columns` texts each.
  explicit RowBlock(size_t columns);
  // One row holding `values` itself (no copy is made).
  explicit RowBlock(std::shared_ptr<json::Array> values);
  RowBlock(const RowBlock&) = delete;
  RowBlock& operator=(const RowBlock&) = delete;

  // Appends a row from its texts; texts past columns() are ignored, missing ones are "".
  // Returns the row's position.
  size_t appendRow(const std::string_view* texts, size_t count);

  size_t rowCount() const { return values_ ? 1 : rows_; }
  size_t columns(size_t row) const {
    return values_ ? values_->size() : (row < rows_ ? columns_ : 0);
  }
  // Every row loses its last column (no effect on a row built by code or an empty row).
  void dropLastColumn();

  // The text at (row, column), or none when the position is outside the row or (in a
  // row built by code) the value is not text.
  std::optional<std::string_view> text(size_t row, size_t column) const {
    if (values_) return valueText(column);
    if (row >= rows_ || column >= columns_) return std::nullopt;
    return textOf(cell(row, column));
  }
  // The value at (row, column) of a row built by code; null for flat rows.
  const json::Value* value(size_t row, size_t column) const;
  // Replaces the value at (row, column), inside the row, with `text`.
  void setText(size_t row, size_t column, std::string_view text);

  // Where a row keeps its texts: an offset and a length for each value.
  struct Entry {
    uint32_t offset = 0;
    uint32_t size = 0;
  };
  // The entries of a flat row (columns() of them), or null (a row built by code, or
  // none); with textOf(), what matching reads of a row without going value by value.
  const Entry* entries(size_t row) const {
    return values_ || row >= rows_ || columns_ == 0 ? nullptr : &cell(row, 0);
  }
  std::string_view textOf(Entry entry) const {
    if (entry.size & kApart) return apart_[entry.offset];
    if (entry.size == 0) return std::string_view();
    return std::string_view(chunkData(entry), entry.size);
  }

  // Start loading a row ahead of its use, in two steps some rows apart: first where its
  // values are kept, then (reading that) the text of `column`.
  void prefetchRow(size_t row) const {
    if (values_ || row >= rows_) return;
    __builtin_prefetch(&cell(row, 0));
    __builtin_prefetch(&cell(row, stride_ - 1));
  }
  void prefetchText(size_t row, size_t column) const {
    if (values_ || row >= rows_ || column >= columns_) return;
    const Entry c = cell(row, column);
    if (!(c.size & kApart) && c.size != 0) __builtin_prefetch(chunkData(c));
  }

 private:
  // Texts live in chunks of 2 MiB addressed by a 32-bit offset (chunk << 21 | position);
  // texts longer than kLongText, and any text once 4 GiB are used, are kept apart. The
  // first chunk grows with its contents up to kGrowingBytes, so that a small result stays
  // small, and is then moved once into a whole chunk; chunks are whole huge pages
  // (base::LargeBlock), taken at once and never moved. Growing by doubling would touch
  // fresh memory twice over, and each fresh page costs a fault.
  static constexpr unsigned kChunkBits = 21;
  static constexpr size_t kChunkSize = size_t{1} << kChunkBits;
  static constexpr size_t kLongText = 64 * 1024;
  static constexpr uint32_t kApart = 0x80000000u;  // in Entry::size: offset indexes apart_
  static constexpr size_t kGrowingBytes = 64 * 1024;
  Entry store(std::string_view text);
  // A new whole block of `bytes` in large_, beginning with a copy of `filled`.
  std::byte* takeWhole(size_t bytes, std::string_view filled = {});
  const char* chunkData(Entry entry) const {
    return chunks_[entry.offset >> kChunkBits] + (entry.offset & (kChunkSize - 1));
  }
  std::optional<std::string_view> valueText(size_t column) const;
  // A row's entries lie together, in pages of kPageRows rows; as with texts, the first
  // page grows with its contents up to kGrowingBytes, and pages are huge pages taken whole.
  static constexpr unsigned kPageRowBits = 15;
  static constexpr size_t kPageRows = size_t{1} << kPageRowBits;
  const Entry& cell(size_t row, size_t column) const {
    return pages_[row >> kPageRowBits][(row & (kPageRows - 1)) * stride_ + column];
  }
  Entry& cell(size_t row, size_t column) {
    return pages_[row >> kPageRowBits][(row & (kPageRows - 1)) * stride_ + column];
  }

  std::shared_ptr<json::Array> values_;  // a row built by code, or null
  size_t stride_ = 0;                    // cells per row
  size_t columns_ = 0;                   // visible columns per row (<= stride_)
  size_t rows_ = 0;
  std::vector<Entry*> pages_;  // where each page starts: firstPage_, then large_ blocks
  std::vector<Entry> firstPage_;
  bool firstPageWhole_ = false;  // the first page has moved into large_
  std::vector<char*> chunks_;    // where each chunk starts: firstChunk_, then large_ blocks
  std::string firstChunk_;
  bool firstChunkWhole_ = false;  // the first chunk has moved into large_
  size_t chunkUsed_ = 0;          // bytes used in the last chunk
  std::vector<base::LargeBlock> large_;
  std::vector<std::string> apart_;
};

class Record;

// One value of a row, as a proxy: read it as text, or as the JSON value it stands for.
class Cell {
 public:
  Cell(const RowBlock* block, size_t row, size_t column)
      : block_(block), row_(row), column_(column) {}

  std::optional<std::string_view> text() const { return block_->text(row_, column_); }
  bool isString() const { return text().has_value(); }
  // The text; "" when the value is not text.
  std::string asString() const { return std::string(text().value_or(std::string_view())); }
  bool isInt() const;
  int64_t asInt() const;
  // The value itself: a JSON string for a text.
  json::Value value() const;
  operator json::Value() const { return value(); }
  // Replaces the value with `text`, in the row itself.
  void setText(std::string_view text) const {
    const_cast<RowBlock*>(block_)->setText(row_, column_, text);
  }

 private:
  const RowBlock* block_;
  size_t row_;
  size_t column_;
};

// A row seen as a list of cells.
class RowRef {
 public:
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Cell;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Cell;
    Iterator(const RowBlock* block, size_t row, size_t column)
        : block_(block), row_(row), column_(column) {}
    Cell operator*() const { return Cell(block_, row_, column_); }
    Iterator& operator++() {
      ++column_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return column_ == other.column_; }

   private:
    const RowBlock* block_;
    size_t row_;
    size_t column_;
  };

  RowRef(const RowBlock* block, size_t row) : block_(block), row_(row) {}
  size_t size() const { return block_->columns(row_); }
  bool empty() const { return size() == 0; }
  Cell operator[](size_t column) const { return Cell(block_, row_, column); }
  Cell at(size_t column) const { return Cell(block_, row_, column); }
  Iterator begin() const { return Iterator(block_, row_, 0); }
  Iterator end() const { return Iterator(block_, row_, size()); }
  // The row's values as a JSON list.
  json::Array values() const;

 private:
  const RowBlock* block_;
  size_t row_;
};

class Record {
 public:
  Record() = default;
  Record(std::nullptr_t) {}
  // A row built by code: the list itself becomes the row.
  Record(std::shared_ptr<json::Array> values);
  Record(std::shared_ptr<RowBlock> block, size_t row)
      : block_(std::move(block)), row_(static_cast<uint32_t>(row)) {}

  explicit operator bool() const { return block_ != nullptr; }
  friend bool operator==(const Record& r, std::nullptr_t) { return !r.block_; }
  // The same row of the same storage.
  friend bool operator==(const Record& a, const Record& b) {
    return a.block_ == b.block_ && (!a.block_ || a.row_ == b.row_);
  }

  RowRef operator*() const { return RowRef(block_.get(), row_); }
  // record->size(), record->at(1): the row, through a temporary view.
  struct Arrow {
    RowRef row;
    const RowRef* operator->() const { return &row; }
  };
  Arrow operator->() const { return Arrow{**this}; }

  const std::shared_ptr<RowBlock>& block() const { return block_; }
  size_t row() const { return row_; }
  // The text at `column`, or none (no row, no such column, not text).
  std::optional<std::string_view> text(size_t column) const {
    return block_ ? block_->text(row_, column) : std::nullopt;
  }

 private:
  std::shared_ptr<RowBlock> block_;
  uint32_t row_ = 0;
};

}  // namespace ovra::model

#endif  // OVRA_MODEL_RECORD_H_
