#pragma once
// The samples of a trend window: a bounded ring of (time, one value per plotted
// cell), the decimation that keeps drawing cheap however many samples are kept,
// and the CSV text of an export. Qt-free.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelmor {

// One hour at a 20 ms scan rate.
constexpr std::size_t kTrendCapacity = 180000;
constexpr int kMaxTrendSeries = 8;

class TrendBuffer {
 public:
  explicit TrendBuffer(int series = 0, std::size_t capacity = kTrendCapacity);

  // Drops every sample and starts over with `series` values per sample.
  void reset(int series);
  void clear() { reset(series_); }
  int series() const { return series_; }
  std::size_t capacity() const { return capacity_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Adds a sample (values[0..series-1]); once full, the oldest sample goes.
  // Times are milliseconds since the epoch and must not decrease.
  void append(double timeMs, const double* values);
  // Sample i, 0 the oldest.
  double time(std::size_t i) const { return times_[slot(i)]; }
  double value(std::size_t i, int series) const { return values_[slot(i) * series_ + series]; }
  // The first sample at or after timeMs (size() when none).
  std::size_t lowerBound(double timeMs) const;

  // The points of one series between t0 and t1 for a plot `buckets` wide: every
  // sample while they are few, else per bucket the lowest and the highest
  // sample in the order they came, so peaks stay visible. lo/hi receive the
  // value range of the points (unchanged when there are none).
  struct Point {
    double timeMs;
    double value;
  };
  void decimate(int series, double t0, double t1, int buckets, std::vector<Point>* points, double* lo,
                double* hi) const;

 private:
  std::size_t slot(std::size_t i) const {
    const std::size_t at = start_ + i;  // i < capacity, so one wrap at most
    return at >= capacity_ ? at - capacity_ : at;
  }

  int series_ = 0;
  std::size_t capacity_;
  std::size_t start_ = 0;  // oldest sample, once the ring has wrapped
  std::size_t size_ = 0;
  // Grown as samples arrive (up to the capacity), so an idle window costs little.
  std::vector<double> times_;
  std::vector<double> values_;
};

// "Time,<header 1>,..." then one line per sample: local time with milliseconds
// ("2026-12-07 23:41:05.120") and the values ("%.*g" with `precision` digits).
std::string TrendCsv(const TrendBuffer& buffer, const std::vector<std::string>& headers, int precision);
// Digits that print every value of a display format exactly.
int TrendPrecision(int function, int displayFormat);

}  // namespace zelmor
