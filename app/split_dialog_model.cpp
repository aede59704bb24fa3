// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/split_dialog_model.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "app/job_controller.h"
#include "geometry/mosaic_geometry.h"

namespace tg {

namespace {

constexpr std::uint64_t kMaximumStored = std::numeric_limits<unsigned>::max();

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

/// `tiles` steps of `step` pixels, no wider than `side` when the side is known. The last tile's
/// border is not part of the mosaic, which is why the clamp matters for whole-mosaic pieces.
std::uint64_t tileSpan(std::uint64_t tiles, std::uint64_t step, std::uint64_t side) {
  if (side != 0) tiles = std::min(tiles, ceilDiv(side, step));
  const std::uint64_t span = tiles > kMaximumStored / step ? kMaximumStored : tiles * step;
  return side != 0 ? std::min(span, side) : span;
}

/// The pieces the renderer cuts from `side` with pieces of `piece` pixels.
std::uint64_t pieceCount(std::uint64_t side, std::uint64_t piece) {
  if (side == 0) return 0;
  if (piece <= 10 || piece > side) return 1;
  return ceilDiv(side, piece);
}

}  // namespace

SplitDialogModel::SplitDialogModel(const MosaicGeometry& geometry)
    : m_mosaicWidth(geometry.mosaicWidth),
      m_mosaicHeight(geometry.mosaicHeight),
      m_piece{m_mosaicWidth, m_mosaicHeight} {
  // Cells drawn from a mask file have sizes of their own, whatever the tile size says.
  if (!geometry.isMaskFileMode() && geometry.tileWidth != 0 && geometry.tileHeight != 0) {
    m_stepX = std::uint64_t{geometry.tileWidth} + geometry.border;
    m_stepY = std::uint64_t{geometry.tileHeight} + geometry.border;
  }
}

bool SplitDialogModel::set(SplitForm form, SplitPair value) {
  if (value.across == 0 || value.down == 0) return false;
  switch (form) {
    case SplitForm::Pixels:
      m_piece = {std::min(value.across, kMaximumStored), std::min(value.down, kMaximumStored)};
      return true;
    case SplitForm::TilesPerPiece:
      if (!hasTileStep()) return false;
      m_piece = {tileSpan(value.across, m_stepX, m_mosaicWidth),
                 tileSpan(value.down, m_stepY, m_mosaicHeight)};
      return true;
    case SplitForm::Pieces:
      if (m_mosaicWidth == 0 || m_mosaicHeight == 0) return false;
      // The smallest piece whose copies still reach the far edge of the mosaic.
      m_piece = {ceilDiv(m_mosaicWidth, std::min(value.across, m_mosaicWidth)),
                 ceilDiv(m_mosaicHeight, std::min(value.down, m_mosaicHeight))};
      return true;
  }
  return false;
}

SplitPair SplitDialogModel::tilesPerPiece() const {
  if (!hasTileStep()) return {};
  // A piece that holds the whole side holds all of its tiles, the last one without border.
  auto tiles = [](std::uint64_t piece, std::uint64_t step, std::uint64_t side) {
    if (side != 0 && piece >= side) return ceilDiv(side, step);
    return piece / step;
  };
  return {tiles(m_piece.across, m_stepX, m_mosaicWidth),
          tiles(m_piece.down, m_stepY, m_mosaicHeight)};
}

SplitPair SplitDialogModel::pieces() const {
  return {pieceCount(m_mosaicWidth, m_piece.across), pieceCount(m_mosaicHeight, m_piece.down)};
}

SplitPair SplitDialogModel::value(SplitForm form) const {
  switch (form) {
    case SplitForm::Pixels:
      return pixels();
    case SplitForm::TilesPerPiece:
      return tilesPerPiece();
    case SplitForm::Pieces:
      return pieces();
  }
  return {};
}

bool SplitDialogModel::accept(const MosaicSettings& settings) const {
  return acceptSplitPiece(settings, static_cast<unsigned>(m_piece.across),
                          static_cast<unsigned>(m_piece.down));
}

std::optional<SplitRequest> parseSplitRequest(std::string_view text) {
  SplitRequest request;
  struct Suffix {
    std::string_view text;
    SplitForm form;
  };
  for (const Suffix& suffix :
       {Suffix{"pieces", SplitForm::Pieces}, Suffix{"tiles", SplitForm::TilesPerPiece},
        Suffix{"px", SplitForm::Pixels}}) {
    if (text.size() > suffix.text.size() && text.ends_with(suffix.text)) {
      text.remove_suffix(suffix.text.size());
      request.form = suffix.form;
      break;
    }
  }
  const auto x = text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits, std::uint64_t& out) {
    if (digits.empty() || digits.front() < '0' || digits.front() > '9') return false;
    unsigned value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    out = value;
    return result.ec == std::errc() && result.ptr == digits.data() + digits.size();
  };
  if (!number(text.substr(0, x), request.value.across) ||
      !number(text.substr(x + 1), request.value.down)) {
    return std::nullopt;
  }
  return request;
}

}  // namespace tg
