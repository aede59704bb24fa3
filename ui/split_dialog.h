// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

#include "app/job_controller.h"
#include "app/split_dialog_model.h"

class QLabel;
class QRadioButton;
class QSpinBox;

namespace tg {

/// The split dialog: the size of one piece of a split mosaic, typed in pixels, as tiles per
/// piece or as numbers of pieces across and down. Each form shows what the others give
/// (`SplitDialogModel`); OK closes only when `acceptPiece` takes the pixel size (it shows the
/// refusal or the question itself). Window thread only.
class SplitDialog final : public QDialog {
  Q_OBJECT

 public:
  using PieceSize = JobControllerHost::PieceSize;

  SplitDialog(const MosaicGeometry& geometry, std::function<bool(const PieceSize&)> acceptPiece,
              QWidget* parent = nullptr);

  /// Shows the dialog modally, starting from `previous` (the piece chosen last time; a size of 0
  /// starts with one piece of the whole mosaic): the accepted piece size, or nothing on Cancel.
  [[nodiscard]] static std::optional<PieceSize> ask(
      const MosaicGeometry& geometry, const std::function<bool(const PieceSize&)>& acceptPiece,
      QWidget* parent = nullptr, PieceSize previous = {});

  /// Puts `piece` (in pixels) into the dialog; a size of 0 is ignored.
  void setPieceSize(const PieceSize& piece);

  /// The piece size the dialog holds now.
  [[nodiscard]] PieceSize pieceSize() const;
  /// The two boxes of `form` (across, down), for tests.
  [[nodiscard]] QSpinBox* box(SplitForm form, int side) const;
  [[nodiscard]] QRadioButton* formButton(SplitForm form) const;

 public slots:
  void accept() override;

 private:
  void take(SplitForm form);
  void refresh();

  SplitDialogModel m_model;
  std::function<bool(const PieceSize&)> m_acceptPiece;
  std::array<std::array<QSpinBox*, 2>, 3> m_boxes{};
  std::array<QRadioButton*, 3> m_forms{};
  QLabel* m_summary = nullptr;
  bool m_filling = false;
};

}  // namespace tg
