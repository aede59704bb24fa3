// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace tg {

class MosaicJob;

/// The status line, progress and stop check of the no-duplicates placement: counts rounds and
/// bids, shows "Adding Tile#: %ld of %ld (#%ld, %ld)" (served bidders, cells, round, bids in
/// the round) until the mosaic is complete and "Improving Quality. Press Mosaic button to
/// Stop&&Save (#%ld, %ld)." (round, bids) afterwards, and keeps the value of progress stage 6
/// at the number of served bidders (it never goes back). Job thread.
class AuctionProgress {
 public:
  /// `cells` is the number of cells taking part; with `stopAfterBids` above 0 a stop request
  /// is made right after that many bids, as if the mosaic button had been pressed then.
  AuctionProgress(MosaicJob& job, std::size_t cells, long stopAfterBids);

  void startRound() {
    ++m_rounds;
    m_bids = 0;
  }
  /// From now on the status tells of improving instead of filling.
  void setCompleted() { m_completed = true; }
  /// Counts one bid that left `served` bidders served and publishes now and then. True when
  /// a stop request was pending: the request is consumed (the job's flag is cleared) and the
  /// state published, and the caller ends the placement with what it has.
  [[nodiscard]] bool afterBid(std::size_t served);
  /// The same stop check between two steps that are not bids.
  [[nodiscard]] bool consumeStop(std::size_t served);
  /// Shows the status and progress for `served` served bidders now.
  void publish(std::size_t served);

 private:
  MosaicJob& m_job;
  std::size_t m_cells;
  long m_stopAfterBids;
  const std::string m_filling;
  const std::string m_improving;
  std::size_t m_progressShown = 0;
  bool m_completed = false;
  long m_rounds = 0;
  long m_bids = 0;
  long m_totalBids = 0;
  long m_sincePublished = 0;
};

}  // namespace tg
