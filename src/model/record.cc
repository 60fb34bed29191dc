// A query result of a few hundred thousand rows is a few tens of megabytes of short texts.
// Held as one heap list and one heap string per value they would cost several times
// that, and matching would chase a pointer for every value it reads; held here they cost
// their bytes plus eight per value, and rows read in order are read from memory in order.
// Chunks are never moved once full, so filling a block never copies what it holds.
#include "model/record.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace ovra::model {

RowBlock::RowBlock(size_t columns) : stride_(columns), columns_(columns) {}

RowBlock::RowBlock(std::shared_ptr<json::Array> values) : values_(std::move(values)) {}

std::byte* RowBlock::takeWhole(size_t bytes, std::string_view filled) {
  large_.emplace_back(bytes);
  std::byte* start = large_.back().data();
  if (start == nullptr) throw std::bad_alloc();
  if (!filled.empty()) std::memcpy(start, filled.data(), filled.size());
  return start;
}

RowBlock::Entry RowBlock::store(std::string_view text) {
  if (text.empty()) return Entry{};
  const bool fits = !chunks_.empty() && chunkUsed_ + text.size() <= kChunkSize;
  const bool full = chunks_.size() >= (size_t{1} << (32 - kChunkBits));
  if (text.size() > kLongText || (full && !fits)) {
    apart_.emplace_back(text);
    return Entry{static_cast<uint32_t>(apart_.size() - 1),
                 kApart | static_cast<uint32_t>(std::min<size_t>(text.size(), kApart - 1))};
  }
  if (!fits) {
    if (chunks_.empty()) {
      chunks_.push_back(firstChunk_.data());
    } else {
      chunks_.push_back(reinterpret_cast<char*>(takeWhole(kChunkSize)));
    }
    chunkUsed_ = 0;
  }
  const size_t chunk = chunks_.size() - 1, at = chunkUsed_;
  if (chunk == 0 && !firstChunkWhole_ && at + text.size() > kGrowingBytes) {
    // A large result: the first chunk becomes a whole one now, rather than grow by doubling.
    chunks_[0] = reinterpret_cast<char*>(takeWhole(kChunkSize, firstChunk_));
    std::string().swap(firstChunk_);
    firstChunkWhole_ = true;
  }
  if (chunk == 0 && !firstChunkWhole_) {
    firstChunk_.append(text);
    chunks_[0] = firstChunk_.data();  // it may have moved
  } else {
    std::memcpy(chunks_[chunk] + at, text.data(), text.size());
  }
  chunkUsed_ += text.size();
  return Entry{static_cast<uint32_t>((chunk << kChunkBits) | at),
               static_cast<uint32_t>(text.size())};
}

size_t RowBlock::appendRow(const std::string_view* texts, size_t count) {
  const size_t page = rows_ >> kPageRowBits, at = (rows_ & (kPageRows - 1)) * stride_;
  if (page == 0) {
    if (pages_.empty()) pages_.push_back(nullptr);
    if (!firstPageWhole_ && (at + stride_) * sizeof(Entry) > kGrowingBytes) {
      // As with texts: past a small size, the first page becomes a whole one.
      const std::string_view filled(reinterpret_cast<const char*>(firstPage_.data()),
                                    firstPage_.size() * sizeof(Entry));
      pages_[0] = reinterpret_cast<Entry*>(takeWhole(kPageRows * stride_ * sizeof(Entry), filled));
      std::vector<Entry>().swap(firstPage_);
      firstPageWhole_ = true;
    }
    if (!firstPageWhole_) {
      firstPage_.resize(at + stride_);
      pages_[0] = firstPage_.data();  // it may have moved
    }
  } else if ((rows_ & (kPageRows - 1)) == 0) {
    Entry* start = nullptr;  // rows without columns need no room
    if (stride_ != 0) {
      start = reinterpret_cast<Entry*>(takeWhole(kPageRows * stride_ * sizeof(Entry)));
    }
    pages_.push_back(start);
  }
  Entry* row = pages_[page] + at;
  for (size_t i = 0; i < stride_; ++i) row[i] = i < count ? store(texts[i]) : Entry{};
  return rows_++;
}

void RowBlock::dropLastColumn() {
  if (!values_ && columns_ > 0) --columns_;
}

std::optional<std::string_view> RowBlock::valueText(size_t column) const {
  if (column >= values_->size()) return std::nullopt;
  const std::string* text = (*values_)[column].stringOrNull();
  return text ? std::optional<std::string_view>(*text) : std::nullopt;
}

const json::Value* RowBlock::value(size_t, size_t column) const {
  return values_ && column < values_->size() ? &(*values_)[column] : nullptr;
}

void RowBlock::setText(size_t row, size_t column, std::string_view text) {
  if (values_) {
    if (column < values_->size()) (*values_)[column] = json::Value(text);
    return;
  }
  if (row >= rows_ || column >= columns_) return;
  Entry& target = cell(row, column);
  // A text no longer than the present one is written over it; a longer one is stored anew.
  if (!(target.size & kApart) && text.size() <= target.size) {
    if (!text.empty()) {
      std::memcpy(chunks_[target.offset >> kChunkBits] + (target.offset & (kChunkSize - 1)),
                  text.data(), text.size());
    }
    target.size = static_cast<uint32_t>(text.size());
    if (text.empty()) target.offset = 0;
    return;
  }
  target = store(text);
}

bool Cell::isInt() const {
  const json::Value* v = block_->value(row_, column_);
  return v && v->isInt();
}

int64_t Cell::asInt() const {
  const json::Value* v = block_->value(row_, column_);
  return v && v->isInt() ? v->asInt() : 0;
}

json::Value Cell::value() const {
  if (const json::Value* v = block_->value(row_, column_)) return *v;
  if (std::optional<std::string_view> t = text()) return json::Value(*t);
  return json::Value();
}

json::Array RowRef::values() const {
  json::Array out;
  out.reserve(size());
  for (Cell c : *this) out.push_back(c.value());
  return out;
}

Record::Record(std::shared_ptr<json::Array> values)
    : block_(values ? std::make_shared<RowBlock>(std::move(values)) : nullptr) {}

}  // namespace ovra::model
