#include "engine/signal_buffer.h"

#include <algorithm>
#include <cmath>

namespace engine {

CSignalBuffer::CSignalBuffer(int capacity) { Reserve(capacity); }

void CSignalBuffer::Reserve(int capacity) {
  if (capacity <= capacity_) return;
  auto grown = std::make_unique<double[]>(capacity);
  std::copy(data_.get(), data_.get() + count_, grown.get());
  data_ = std::move(grown);
  capacity_ = capacity;
}

void CSignalBuffer::Resize(int count) {
  Reserve(count);
  count_ = count;
}

void CSignalBuffer::Scale(double gain) {
  double* samples = data_.get();
  for (int i = 0; i < count_; ++i) samples[i] *= gain;
}

void CSignalBuffer::ZeroNonFinite() {
  for (int i = 0; i < count_; ++i)
    if (!std::isfinite(data_[i])) data_[i] = 0.0;
}

}  // namespace engine
