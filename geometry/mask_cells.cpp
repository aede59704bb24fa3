// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/mask_cells.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "imaging/image_file.h"
#include "job/mosaic_job.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

using Label = std::int32_t;

constexpr Label kUnset = 0;       // left by a failed growth of the label table
constexpr Label kBackground = 1;  // near-white
constexpr Label kSeparator = 2;   // near-black
constexpr Label kFirstRegion = 3;

/// Largest squared colour distance of two colours that count as similar.
constexpr std::uint32_t kSimilarity = 192;
/// Regions narrower or lower than this are specks or line fragments.
constexpr std::int64_t kMinRegionSide = 12;
/// Regions whose box in the used part is smaller than this give no cell.
constexpr std::uint64_t kMinCellBoxArea = 11;
/// The label table grows by at least this many entries at a time.
constexpr std::size_t kTableStep = 4000;

constexpr Pixel kWhite = makePixel(255, 255, 255);
constexpr Pixel kBlack = makePixel(0, 0, 0);

bool similar(Pixel a, Pixel b) { return colourDistance(a, b) <= kSimilarity; }
bool isRegion(Label label) { return label >= kFirstRegion; }

/// Union-find over labels: entry 0 of a label is a root; a merge makes the larger root a child
/// of the smaller, so every set's root is its smallest label.
class LabelTable {
 public:
  LabelTable() { m_parent.assign(kFirstRegion, 0); }

  /// A new root label, or `kUnset` when the table cannot grow.
  Label add() {
    if (m_parent.size() >= static_cast<std::size_t>(std::numeric_limits<Label>::max())) {
      return kUnset;
    }
    try {
      // At least one step at a time, and geometrically so that noisy masks with millions of
      // labels do not copy the table over and over.
      if (m_parent.size() == m_parent.capacity()) {
        m_parent.reserve(std::max(m_parent.size() + kTableStep, m_parent.size() / 2 * 3));
      }
      m_parent.push_back(0);
    } catch (const std::bad_alloc&) {
      return kUnset;
    }
    return static_cast<Label>(m_parent.size() - 1);
  }

  Label root(Label label) {
    // Path halving: roots never change by it, so the smallest-label rule still holds.
    while (m_parent[static_cast<std::size_t>(label)] != 0) {
      const Label parent = m_parent[static_cast<std::size_t>(label)];
      const Label grand = m_parent[static_cast<std::size_t>(parent)];
      if (grand != 0) m_parent[static_cast<std::size_t>(label)] = grand;
      label = parent;
    }
    return label;
  }

  /// Joins the sets of `a` and `b`; returns the root of the joined set.
  Label merge(Label a, Label b) {
    const Label ra = root(a);
    const Label rb = root(b);
    if (ra == rb) return ra;
    const Label small = std::min(ra, rb);
    m_parent[static_cast<std::size_t>(std::max(ra, rb))] = small;
    return small;
  }

  [[nodiscard]] std::size_t size() const { return m_parent.size(); }
  void release() { std::vector<Label>().swap(m_parent); }

 private:
  std::vector<Label> m_parent;
};

/// The label image: one signed label per mask pixel, row-major.
struct LabelImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::unique_ptr<Label[]> labels;

  Label& at(std::uint64_t i) { return labels[i]; }
  [[nodiscard]] std::uint64_t count() const { return std::uint64_t{width} * height; }
};

bool stopRequested(const CellGrid& grid) {
  return grid.job != nullptr && grid.job->stopRequested();
}

/// First pass: near-white and near-black pixels get the two reserved labels; every other pixel
/// joins the region of a similar left or upper neighbour, or starts a new one.
bool labelPixels(const Foto& mask, LabelImage& image, LabelTable& table) {
  const std::uint32_t w = mask.width;
  bool anyRegion = false;
  for (std::uint32_t y = 0; y < mask.height; ++y) {
    const Pixel* row = mask.row(y);
    const Pixel* above = y > 0 ? mask.row(y - 1) : nullptr;
    Label* labels = &image.at(std::uint64_t{y} * w);
    const Label* aboveLabels = y > 0 ? labels - w : nullptr;
    for (std::uint32_t x = 0; x < w; ++x) {
      const Pixel p = row[x];
      if (similar(p, kWhite)) {
        labels[x] = kBackground;
        continue;
      }
      if (similar(p, kBlack)) {
        labels[x] = kSeparator;
        continue;
      }
      const Pixel upColour = above != nullptr ? above[x] : kWhite;
      const Label upLabel = aboveLabels != nullptr ? aboveLabels[x] : kBackground;
      const Pixel leftColour = x > 0 ? row[x - 1] : kWhite;
      const Label leftLabel = x > 0 ? labels[x - 1] : kBackground;
      Label label;
      if (isRegion(leftLabel) && similar(leftColour, p)) {
        label = leftLabel;
        if (isRegion(upLabel) && upLabel != leftLabel && similar(upColour, p)) {
          label = table.merge(leftLabel, upLabel);
        }
      } else if (isRegion(upLabel) && similar(upColour, p)) {
        label = upLabel;
      } else {
        label = table.add();
      }
      labels[x] = label;
      anyRegion = anyRegion || isRegion(label);
    }
  }
  return anyRegion;
}

/// Every label becomes its root; a label left unset becomes background. Returns whether any
/// pixel still carries a region label.
bool resolveLabels(LabelImage& image, LabelTable& table) {
  bool anyRegion = false;
  const std::uint64_t n = image.count();
  for (std::uint64_t i = 0; i < n; ++i) {
    Label& label = image.at(i);
    label = label == kUnset ? kBackground : table.root(label);
    anyRegion = anyRegion || isRegion(label);
  }
  return anyRegion;
}

/// Merges into the separator every region whose box is less than 12 pixels wide or high.
void dropSpecks(LabelImage& image, LabelTable& table) {
  struct Box {
    std::uint32_t minX = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t minY = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t maxX = 0;
    std::uint32_t maxY = 0;
  };
  std::vector<Box> boxes(table.size());
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const Label* labels = &image.at(std::uint64_t{y} * image.width);
    for (std::uint32_t x = 0; x < image.width; ++x) {
      if (!isRegion(labels[x])) continue;
      Box& box = boxes[static_cast<std::size_t>(labels[x])];
      box.minX = std::min(box.minX, x);
      box.maxX = std::max(box.maxX, x);
      box.minY = std::min(box.minY, y);
      box.maxY = std::max(box.maxY, y);
    }
  }
  for (std::size_t label = kFirstRegion; label < boxes.size(); ++label) {
    const Box& box = boxes[label];
    if (box.minX > box.maxX) continue;  // not a root, or no pixel
    const std::int64_t width = std::int64_t{box.maxX} - box.minX + 1;
    const std::int64_t height = std::int64_t{box.maxY} - box.minY + 1;
    if (width < kMinRegionSide || height < kMinRegionSide) {
      (void)table.merge(kSeparator, static_cast<Label>(label));
    }
  }
}

/// The label a separator pixel takes from its neighbours' labels (up, down, left, right, only
/// those that count), or 0 when none counts.
Label chooseNeighbour(const Label* c, int n) {
  switch (n) {
    case 0:
      return 0;
    case 1:
    case 2:
      return c[0];
    case 3:
      if (c[0] == c[1] || c[0] == c[2]) return c[0];
      if (c[1] == c[2]) return c[1];
      return c[0];
    default:
      if (c[0] == c[1] || c[0] == c[2] || c[0] == c[3]) return c[0];
      if (c[1] == c[2] || c[1] == c[3]) return c[1];
      if (c[2] == c[3]) return c[2];
      return c[0];
  }
}

/// The label separator pixel `i` (column x, row y) takes in this pass. Pixels labelled earlier
/// in the same pass hold their label negated and do not count yet.
Label dissolvedLabel(LabelImage& image, std::uint64_t i, std::uint32_t x, std::uint32_t y) {
  Label candidates[4];
  int n = 0;
  const auto consider = [&](Label label) {
    if (isRegion(label)) candidates[n++] = label;
  };
  const std::uint64_t w = image.width;
  if (y > 0) consider(image.at(i - w));
  if (y + 1 < image.height) consider(image.at(i + w));
  if (x > 0) consider(image.at(i - 1));
  if (x + 1 < image.width) consider(image.at(i + 1));
  return chooseNeighbour(candidates, n);
}

/// Marks a separator pixel already queued for the next pass (never a region label).
constexpr Label kQueued = -kSeparator;

/// One dissolving pass over the whole image in raster order; true when it labelled any pixel.
bool scanPass(LabelImage& image) {
  const std::uint32_t w = image.width;
  bool changed = false;
  for (std::uint32_t y = 0; y < image.height; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) {
      const std::uint64_t i = std::uint64_t{y} * w + x;
      if (image.at(i) != kSeparator) continue;
      const Label label = dissolvedLabel(image, i, x, y);
      if (label != 0) {
        image.at(i) = -label;
        changed = true;
      }
    }
  }
  // Pixels labelled in this pass count as region pixels from the next pass on.
  const std::uint64_t n = image.count();
  for (std::uint64_t i = 0; changed && i < n; ++i) {
    if (image.at(i) < 0) image.at(i) = -image.at(i);
  }
  return changed;
}

/// Adds the separator neighbours of pixel `i` that are not queued yet to `next`.
void queueSeparatorNeighbours(LabelImage& image, std::uint64_t i,
                              std::vector<std::uint64_t>& next) {
  const std::uint64_t w = image.width;
  const std::uint64_t x = i % w;
  const std::uint64_t y = i / w;
  const auto queue = [&](std::uint64_t j) {
    if (image.at(j) == kSeparator) {
      image.at(j) = kQueued;
      next.push_back(j);
    }
  };
  if (y > 0) queue(i - w);
  if (y + 1 < image.height) queue(i + w);
  if (x > 0) queue(i - 1);
  if (x + 1 < w) queue(i + 1);
}

/// Shares the separator lines out among the regions they touch, one pixel layer per pass, until
/// a pass changes nothing. Within a pass a pixel sees only labels from before the pass, so the
/// result does not depend on the order of visits: each pass visits just the separator pixels
/// next to a region pixel (the front), and the pixels it labels bring their separator
/// neighbours into the next front. Thick black areas thus cost their area once, not once per
/// pass. When the front cannot be kept in memory, every pass scans the whole image instead.
bool dissolveSeparator(LabelImage& image, const CellGrid& grid, SeparatorDissolving dissolving) {
  const std::uint64_t n = image.count();
  if (dissolving == SeparatorDissolving::Scan) {
    while (scanPass(image)) {
      if (stopRequested(grid)) return false;
    }
    return true;
  }
  const std::uint64_t w = image.width;
  std::vector<std::uint64_t> front;
  std::vector<std::uint64_t> next;
  try {
    for (std::uint64_t i = 0; i < n; ++i) {
      if (image.at(i) != kSeparator) continue;
      const std::uint64_t x = i % w;
      const std::uint64_t y = i / w;
      const bool nearRegion = (y > 0 && isRegion(image.at(i - w))) ||
                              (y + 1 < image.height && isRegion(image.at(i + w))) ||
                              (x > 0 && isRegion(image.at(i - 1))) ||
                              (x + 1 < w && isRegion(image.at(i + 1)));
      if (nearRegion) front.push_back(i);
    }
    for (const std::uint64_t i : front) image.at(i) = kQueued;
    while (!front.empty()) {
      if (stopRequested(grid)) return false;
      for (const std::uint64_t i : front) {
        // Every pixel of the front touches a region pixel from before this pass.
        const Label label = dissolvedLabel(image, i, static_cast<std::uint32_t>(i % w),
                                           static_cast<std::uint32_t>(i / w));
        image.at(i) = label != 0 ? -label : -kSeparator;
      }
      next.clear();
      for (const std::uint64_t i : front) {
        image.at(i) = image.at(i) == -kSeparator ? kSeparator : -image.at(i);
      }
      for (const std::uint64_t i : front) queueSeparatorNeighbours(image, i, next);
      front.swap(next);
    }
    return true;
  } catch (const std::bad_alloc&) {
    // Back to plain separator pixels, then whole-image passes.
    for (std::uint64_t i = 0; i < n; ++i) {
      if (image.at(i) == kQueued) image.at(i) = kSeparator;
      if (image.at(i) < 0) image.at(i) = -image.at(i);
    }
  }
  while (scanPass(image)) {
    if (stopRequested(grid)) return false;
  }
  return true;
}

/// Tells the user that the cells of the mask do not fit in memory and leaves the grid empty.
bool outOfMemory(CellGrid& grid, const LabelImage& image) {
  grid.clear(true);
  showMessage(formatText(tr("Out Of Memory while allocating an Image made of %ldx%ld Pixels"),
                         static_cast<long>(image.width), static_cast<long>(image.height)) +
              "!");
  return false;
}

}  // namespace

bool buildCellsFromMask(CellGrid& grid, const std::string& maskPath, std::uint32_t mainWidth,
                        std::uint32_t mainHeight) {
  Foto mask;
  if (!loadImageFile(mask, maskPath, 0, 0, true)) return false;
  return buildCellsFromMaskImage(grid, mask, mainWidth, mainHeight);
}

bool buildCellsFromMaskImage(CellGrid& grid, Foto& mask, std::uint32_t mainWidth,
                             std::uint32_t mainHeight, SeparatorDissolving dissolving) {
  grid.clear();
  grid.columns = 0;
  grid.rows = 0;
  grid.gap = 0;
  if (mask.empty() || mask.width == 0 || mask.height == 0) {
    mask.release();
    return false;
  }

  LabelImage image;
  image.width = mask.width;
  image.height = mask.height;
  image.labels.reset(new (std::nothrow) Label[image.count()]);
  if (!image.labels) {
    showMessage(formatText(tr("Out Of Memory while allocating an Image made of %ldx%ld Pixels"),
                           static_cast<long>(image.width), static_cast<long>(image.height)) +
                "!");
    mask.release();
    return false;
  }

  LabelTable table;
  const bool labelled = labelPixels(mask, image, table);
  if (!labelled || !resolveLabels(image, table)) {
    mask.release();
    return false;
  }
  mask.release();
  if (stopRequested(grid)) return false;

  dropSpecks(image, table);
  (void)resolveLabels(image, table);
  table.release();
  if (!dissolveSeparator(image, grid, dissolving)) return false;

  // The used part: the largest rectangle of the main image's aspect at the mask's top left,
  // worked out in integers so that the limiting side is used in full.
  const std::uint64_t W = image.width;
  const std::uint64_t H = image.height;
  std::uint64_t usedW = W;
  std::uint64_t usedH = H;
  if (mainWidth != 0 || mainHeight != 0) {
    if (std::uint64_t{mainWidth} * H >= std::uint64_t{mainHeight} * W) {
      usedH = std::min(H, std::uint64_t{mainHeight} * W / mainWidth);
    } else {
      usedW = std::min(W, std::uint64_t{mainWidth} * H / mainHeight);
    }
  }
  grid.columns = static_cast<std::uint32_t>(usedW);
  grid.rows = static_cast<std::uint32_t>(usedH);

  // Region records: the box of every region over the used part, indexed by label.
  struct Record {
    std::uint32_t minX = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t minY = 0;
    std::uint32_t maxX = 0;
    std::uint32_t maxY = 0;
  };
  Label largest = kSeparator;
  for (std::uint64_t i = 0; i < image.count(); ++i) largest = std::max(largest, image.at(i));
  std::vector<Record> records;
  try {
    records.resize(static_cast<std::size_t>(largest) + 1);
  } catch (const std::bad_alloc&) {
    return outOfMemory(grid, image);
  }
  for (std::uint32_t y = 0; y < usedH; ++y) {
    const Label* labels = &image.at(std::uint64_t{y} * W);
    for (std::uint32_t x = 0; x < usedW; ++x) {
      if (!isRegion(labels[x])) continue;
      Record& record = records[static_cast<std::size_t>(labels[x])];
      if (record.minX > record.maxX) {
        record = Record{x, y, x, y};
      } else {
        record.minX = std::min(record.minX, x);
        record.maxX = std::max(record.maxX, x);
        record.maxY = y;  // rows come in order
      }
    }
  }

  // Cells in label order: the box, and a bitmap clearing the pixels of other labels.
  for (std::size_t label = kFirstRegion; label < records.size(); ++label) {
    const Record& record = records[label];
    if (record.minX > record.maxX) continue;
    const std::uint32_t boxW = record.maxX - record.minX + 1;
    const std::uint32_t boxH = record.maxY - record.minY + 1;
    if (std::uint64_t{boxW} * boxH < kMinCellBoxArea) continue;
    PuzzleInfo* added = nullptr;
    try {
      added = &grid.append();
    } catch (const std::bad_alloc&) {
      return outOfMemory(grid, image);
    }
    PuzzleInfo& cell = *added;
    cell.active = 1;
    FotoMask& shape = cell.shape;
    shape.setBox(static_cast<std::int32_t>(record.minY), static_cast<std::int32_t>(record.minX),
                 static_cast<std::int32_t>(boxW), static_cast<std::int32_t>(boxH));
    for (std::uint32_t y = 0; y < boxH; ++y) {
      const Label* labels = &image.at(std::uint64_t{record.minY + y} * W + record.minX);
      for (std::uint32_t x = 0; x < boxW; ++x) {
        if (labels[x] == static_cast<Label>(label)) continue;
        if (!shape.hasBitmap()) {
          // The bitmap starts with every pixel belonging to the cell.
          if (!shape.allocateBitmap(boxW * boxH)) return outOfMemory(grid, image);
          std::fill(shape.bits.begin(), shape.bits.end(), 0xFu);
        }
        shape.setBit(x + y * boxW, false);
        --shape.area;
      }
    }
  }
  return !grid.empty();
}

}  // namespace tg
