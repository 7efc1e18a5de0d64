#include "framework/placement.h"

#include <QMdiSubWindow>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "framework/mdi.h"

namespace fw {

namespace {

QRect NormalRectOf(const QWidget* window) {
  if (auto* frame = qobject_cast<const ChildFrame*>(window)) {
    QRect rect = frame->normalRect();
    return rect.isValid() ? rect : frame->geometry();
  }
  if (window->isWindow()) {
    bool special = window->isMinimized() || window->isMaximized() || window->isFullScreen();
    QRect client = special ? window->normalGeometry() : window->geometry();
    if (!client.isValid()) client = window->geometry();
    // The record keeps the outer frame: add the current decoration margins.
    QRect frame = window->frameGeometry();
    QRect inner = window->geometry();
    return client.adjusted(frame.left() - inner.left(), frame.top() - inner.top(),
                           frame.right() - inner.right(), frame.bottom() - inner.bottom());
  }
  return window->geometry();
}

}  // namespace

archive::WindowPlacement PlacementOf(const QWidget* window) {
  archive::WindowPlacement placement;
  if (window->isMinimized()) {
    placement.showCommand = archive::kShowMinimized;
  } else if (window->isMaximized()) {
    placement.showCommand = archive::kShowMaximized;
  } else {
    placement.showCommand = archive::kShowNormal;
  }
  QRect rect = NormalRectOf(window);
  placement.left = rect.left();
  placement.top = rect.top();
  // The record's rectangle is exclusive of right and bottom.
  placement.right = rect.left() + rect.width();
  placement.bottom = rect.top() + rect.height();
  return placement;
}

bool ApplyPlacement(QWidget* window, const archive::WindowPlacement& placement) {
  if (placement.length != archive::kPlacementSize) return false;
  if (placement.right <= placement.left || placement.bottom <= placement.top) return false;
  // Guard against absurd sizes from a damaged file.
  constexpr std::int64_t kLimit = 100000;
  if (std::abs(std::int64_t{placement.left}) > kLimit || std::abs(std::int64_t{placement.top}) > kLimit ||
      std::int64_t{placement.right} - placement.left > kLimit ||
      std::int64_t{placement.bottom} - placement.top > kLimit) {
    return false;
  }
  QRect rect(placement.left, placement.top, placement.right - placement.left,
             placement.bottom - placement.top);
  if (window->isMinimized() || window->isMaximized()) window->showNormal();
  if (auto* frame = qobject_cast<ChildFrame*>(window)) {
    frame->setGeometry(rect);
    frame->setNormalRect(rect);
  } else if (window->isWindow()) {
    QRect outer = window->frameGeometry();
    QRect inner = window->geometry();
    window->setGeometry(rect.adjusted(inner.left() - outer.left(), inner.top() - outer.top(),
                                      inner.right() - outer.right(), inner.bottom() - outer.bottom()));
  } else {
    window->setGeometry(rect);
  }
  switch (placement.showCommand) {
    case archive::kShowMinimized:
      window->showMinimized();
      break;
    case archive::kShowMaximized:
      window->showMaximized();
      break;
    default:
      break;
  }
  return true;
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  std::int64_t product = std::int64_t{a} * b;
  std::int64_t half = std::abs(std::int64_t{c}) / 2;
  bool negative = (product < 0) != (c < 0);
  std::int64_t magnitude = (std::abs(product) + half) / std::abs(std::int64_t{c});
  std::int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return -1;
  return static_cast<int>(result);
}

int PointsToDeviceHeight(int heightPoints, int dotsPerInchY) {
  return -MulDiv(-heightPoints, dotsPerInchY, 72);
}

int DeviceHeightToPoints(int deviceHeight, int dotsPerInchY) {
  return -MulDiv(-deviceHeight, 72, dotsPerInchY);
}

QFont FontFromLogFont(const archive::LogFont& font) {
  QFont result;
  if (!font.faceName.empty()) result.setFamily(QString::fromStdString(font.faceName));
  if (font.height < 0) {
    result.setPointSize(-font.height);
  } else if (font.height > 0) {
    result.setPixelSize(font.height);
  }
  int weight = font.weight == 0 ? 400 : std::clamp(font.weight, 100, 900);
  result.setWeight(static_cast<QFont::Weight>(weight));
  result.setItalic(font.italic != 0);
  result.setUnderline(font.underline != 0);
  result.setStrikeOut(font.strikeOut != 0);
  // Low two bits: pitch (1 fixed); high nibble: family (0x30 modern = fixed-width faces).
  bool fixedPitch = (font.pitchAndFamily & 0x03) == 1 || (font.pitchAndFamily & 0xF0) == 0x30;
  if (fixedPitch) {
    result.setFixedPitch(true);
    result.setStyleHint(QFont::Monospace);
  }
  return result;
}

archive::LogFont LogFontFromFont(const QFont& font, const archive::LogFont& base) {
  archive::LogFont result = base;
  result.faceName = font.family().toStdString().substr(0, archive::kFaceNameMax);
  if (font.pointSize() > 0) {
    result.height = -font.pointSize();
  } else if (font.pointSizeF() > 0) {
    result.height = -static_cast<int>(std::lround(font.pointSizeF()));
  } else if (font.pixelSize() > 0) {
    result.height = font.pixelSize();
  }
  result.weight = font.weight();
  result.italic = font.italic() ? 1 : 0;
  result.underline = font.underline() ? 1 : 0;
  result.strikeOut = font.strikeOut() ? 1 : 0;
  return result;
}

QColor ColorFromColorRef(std::uint32_t colorRef) {
  return QColor(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                static_cast<int>((colorRef >> 16) & 0xFF));
}

std::uint32_t ColorRefFromColor(const QColor& color) {
  QColor rgb = color.toRgb();
  return static_cast<std::uint32_t>(rgb.red()) | (static_cast<std::uint32_t>(rgb.green()) << 8) |
         (static_cast<std::uint32_t>(rgb.blue()) << 16);
}

}  // namespace fw
