#include "master/core/trend_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "common/value_format.h"
#include "resources/zelmor_resources.h"

namespace zelmor {

TrendBuffer::TrendBuffer(int series, std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {
  reset(series);
}

void TrendBuffer::reset(int series) {
  series_ = std::clamp(series, 0, kMaxTrendSeries);
  start_ = 0;
  size_ = 0;
  times_.clear();
  values_.clear();
}

void TrendBuffer::append(double timeMs, const double* values) {
  if (times_.size() < capacity_) {
    times_.push_back(timeMs);
    values_.insert(values_.end(), values, values + series_);
    ++size_;
    return;
  }
  // Full: overwrite the oldest sample.
  times_[start_] = timeMs;
  std::copy(values, values + series_, values_.begin() + static_cast<std::ptrdiff_t>(start_ * series_));
  start_ = (start_ + 1) % capacity_;
}

std::size_t TrendBuffer::lowerBound(double timeMs) const {
  std::size_t low = 0, high = size_;
  while (low < high) {
    std::size_t middle = low + (high - low) / 2;
    if (time(middle) < timeMs)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

void TrendBuffer::decimate(int series, double t0, double t1, int buckets, std::vector<Point>* points, double* lo,
                           double* hi) const {
  points->clear();
  if (series < 0 || series >= series_ || size_ == 0 || t1 < t0) return;
  const std::size_t first = lowerBound(t0);
  std::size_t last = lowerBound(t1);
  while (last < size_ && time(last) <= t1) ++last;  // include samples at t1
  if (first >= last) return;
  buckets = std::max(buckets, 1);
  auto take = [&](std::size_t i) {
    const double v = value(i, series);
    points->push_back({time(i), v});
    if (std::isfinite(v)) {
      *lo = std::min(*lo, v);
      *hi = std::max(*hi, v);
    }
  };
  if (last - first <= static_cast<std::size_t>(2 * buckets)) {
    for (std::size_t i = first; i < last; ++i) take(i);
    return;
  }
  const double perMs = buckets / std::max(t1 - t0, 1e-9);
  std::size_t i = first;
  while (i < last) {
    // The bucket ends at the first sample at or after its right edge.
    const auto bucket = static_cast<long long>((time(i) - t0) * perMs);
    const double edge = t0 + static_cast<double>(bucket + 1) / perMs;
    std::size_t lowest = i, highest = i, end = i;
    double low = value(i, series), high = low;
    while (end < last && time(end) < edge) {
      const double v = value(end, series);
      if (v < low) low = v, lowest = end;
      if (v > high) high = v, highest = end;
      ++end;
    }
    if (end == i) end = i + 1;  // rounding at the edge: never stall
    take(std::min(lowest, highest));
    if (lowest != highest) take(std::max(lowest, highest));
    i = end;
  }
}

namespace {

std::string TimeText(double timeMs) {
  const auto whole = static_cast<std::time_t>(std::floor(timeMs / 1000.0));
  const int millis = static_cast<int>(timeMs - static_cast<double>(whole) * 1000.0);
  std::tm local{};
  localtime_r(&whole, &local);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, std::clamp(millis, 0, 999));
  return buffer;
}

}  // namespace

std::string TrendCsv(const TrendBuffer& buffer, const std::vector<std::string>& headers, int precision) {
  std::string csv = res::text::kTrendTimeColumn;
  for (const std::string& header : headers) csv += "," + header;
  csv += "\n";
  char number[64];
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    csv += TimeText(buffer.time(i));
    for (int s = 0; s < buffer.series(); ++s) {
      std::snprintf(number, sizeof number, "%.*g", precision, buffer.value(i, s));
      csv += ',';
      csv += number;
    }
    csv += '\n';
  }
  return csv;
}

int TrendPrecision(int function, int displayFormat) {
  if (valuefmt::IsBitFunction(function)) return 1;
  switch (valuefmt::ClassicFormat(displayFormat)) {
    case valuefmt::kFloat:
    case valuefmt::kFloatInverse: return 9;
    case valuefmt::kDouble:
    case valuefmt::kDoubleInverse: return 17;
    default: return 10;
  }
}

}  // namespace zelmor
