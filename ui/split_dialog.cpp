// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/split_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "platform/text_format.h"
#include "ui/ui_text.h"

namespace tg {
namespace {

constexpr int kFormCount = 3;

int index(SplitForm form) { return static_cast<int>(form); }

int clampToBox(std::uint64_t value) {
  return static_cast<int>(std::min<std::uint64_t>(value, std::numeric_limits<int>::max()));
}

}  // namespace

SplitDialog::SplitDialog(const MosaicGeometry& geometry,
                         std::function<bool(const PieceSize&)> acceptPiece, QWidget* parent)
    : QDialog(parent), m_model(geometry), m_acceptPiece(std::move(acceptPiece)) {
  setObjectName(QStringLiteral("splitDialog"));
  setWindowTitle(applicationTitle() + QStringLiteral(" - ") + qtr("Split Mosaic"));

  auto* intro = new QLabel(
      qtr("The Mosaic will be saved in several pieces. Give the size of one piece in pixels, in "
          "tiles, or as the number of pieces across and down."),
      this);
  intro->setWordWrap(true);

  const std::array<const char*, kFormCount> labels = {
      N_("Piece size in pixels:"), N_("Tiles per piece:"), N_("Number of pieces:")};
  const std::array<const char*, kFormCount> tips = {
      N_("Width and height of one piece in pixels (between 10 and 1,000,000)."),
      N_("Tiles across and down in one piece; pieces end on tile edges."),
      N_("Pieces across and down the whole Mosaic.")};
  auto* grid = new QGridLayout;
  for (int f = 0; f < kFormCount; ++f) {
    const auto form = static_cast<SplitForm>(f);
    m_forms[static_cast<std::size_t>(f)] = new QRadioButton(qtr(labels[f]), this);
    m_forms[static_cast<std::size_t>(f)]->setToolTip(qtr(tips[f]));
    grid->addWidget(m_forms[static_cast<std::size_t>(f)], f, 0);
    for (int side = 0; side < 2; ++side) {
      auto* spin = new QSpinBox(this);
      spin->setRange(0, std::numeric_limits<int>::max());
      spin->setGroupSeparatorShown(true);
      spin->setKeyboardTracking(false);
      spin->setToolTip(qtr(tips[f]));
      m_boxes[static_cast<std::size_t>(f)][static_cast<std::size_t>(side)] = spin;
      grid->addWidget(spin, f, side == 0 ? 1 : 3);
      connect(spin, &QSpinBox::valueChanged, this, [this, form] {
        if (!m_filling) take(form);
      });
    }
    grid->addWidget(new QLabel(QStringLiteral("\u00d7"), this), f, 2);
  }
  m_forms[index(SplitForm::Pixels)]->setChecked(true);
  const bool tiles = m_model.hasTileStep();
  m_forms[index(SplitForm::TilesPerPiece)]->setEnabled(tiles);
  for (QSpinBox* spin : m_boxes[static_cast<std::size_t>(index(SplitForm::TilesPerPiece))]) {
    spin->setEnabled(tiles);
  }

  m_summary = new QLabel(this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(qtr("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(qtr("Cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &SplitDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SplitDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addLayout(grid);
  layout->addWidget(m_summary);
  layout->addWidget(buttons);
  refresh();
}

std::optional<SplitDialog::PieceSize> SplitDialog::ask(
    const MosaicGeometry& geometry, const std::function<bool(const PieceSize&)>& acceptPiece,
    QWidget* parent, PieceSize previous) {
  SplitDialog dialog(geometry, acceptPiece, parent);
  dialog.setPieceSize(previous);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.pieceSize();
}

void SplitDialog::setPieceSize(const PieceSize& piece) {
  if (m_model.set(SplitForm::Pixels, {piece.width, piece.height})) refresh();
}

SplitDialog::PieceSize SplitDialog::pieceSize() const {
  const SplitPair pixels = m_model.pixels();
  return {static_cast<unsigned>(pixels.across), static_cast<unsigned>(pixels.down)};
}

QSpinBox* SplitDialog::box(SplitForm form, int side) const {
  return m_boxes[static_cast<std::size_t>(index(form))][static_cast<std::size_t>(side)];
}

QRadioButton* SplitDialog::formButton(SplitForm form) const {
  return m_forms[static_cast<std::size_t>(index(form))];
}

void SplitDialog::accept() {
  if (m_acceptPiece && !m_acceptPiece(pieceSize())) return;  // the dialog stays open
  QDialog::accept();
}

void SplitDialog::take(SplitForm form) {
  formButton(form)->setChecked(true);
  // A value the model cannot use (0, or tiles without a tile size) puts the previous one back.
  (void)m_model.set(form, {static_cast<std::uint64_t>(box(form, 0)->value()),
                           static_cast<std::uint64_t>(box(form, 1)->value())});
  refresh();
}

void SplitDialog::refresh() {
  m_filling = true;
  for (int f = 0; f < kFormCount; ++f) {
    const auto form = static_cast<SplitForm>(f);
    const SplitPair value = m_model.value(form);
    box(form, 0)->setValue(clampToBox(value.across));
    box(form, 1)->setValue(clampToBox(value.down));
  }
  m_filling = false;
  const SplitPair pieces = m_model.pieces();
  const auto count = static_cast<unsigned long>(pieces.across * pieces.down);
  m_summary->setText(toQString(
      formatText(tg::trn("%lu piece of %lu x %lu pixels", "%lu pieces of %lu x %lu pixels", count),
                 count, static_cast<unsigned long>(m_model.pixels().across),
                 static_cast<unsigned long>(m_model.pixels().down))));
}

}  // namespace tg
