#pragma once
#include <cstddef>
#include <memory>
#include <span>

namespace engine {

// Channel buffers hold the largest block the driver can deliver (16-bit mono: 8192 frames; 8-bit mono: 16384).
inline constexpr int kChannelBufferFrames = 16384;

// One channel of one block as doubles. Sized once; resizing within the capacity never allocates.
class CSignalBuffer {
 public:
  explicit CSignalBuffer(int capacity = 0);
  virtual ~CSignalBuffer() = default;
  CSignalBuffer(const CSignalBuffer&) = delete;
  CSignalBuffer& operator=(const CSignalBuffer&) = delete;

  // Grows the storage only when `count` exceeds the capacity.
  void Resize(int count);
  void Reserve(int capacity);
  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  double* Data() { return data_.get(); }
  const double* Data() const { return data_.get(); }
  // The `Count()` samples of the block.
  std::span<double> Samples() { return {data_.get(), static_cast<size_t>(count_)}; }
  std::span<const double> Samples() const { return {data_.get(), static_cast<size_t>(count_)}; }
  // All of the storage, for a block to be read into before Resize.
  std::span<double> Storage() { return {data_.get(), static_cast<size_t>(capacity_)}; }
  double& operator[](int i) { return data_[i]; }
  double operator[](int i) const { return data_[i]; }

  void Scale(double gain);
  // Replaces infinities and NaNs with silence.
  void ZeroNonFinite();

 private:
  std::unique_ptr<double[]> data_;
  int capacity_ = 0;
  int count_ = 0;
};

}  // namespace engine
