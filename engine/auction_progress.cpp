// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/auction_progress.h"

#include <cstdint>

#include "job/mosaic_job.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace {

// How many bids pass between two updates of the status line and the progress bar: the status
// line is read twice a second, and formatting it after every one of millions of bids would
// cost more than the bids.
constexpr long kStatusInterval = 256;

}  // namespace

AuctionProgress::AuctionProgress(MosaicJob& job, std::size_t cells, long stopAfterBids)
    : m_job(job),
      m_cells(cells),
      m_stopAfterBids(stopAfterBids),
      m_filling(tr("Adding Tile#: %ld of %ld (#%ld, %ld)")),
      m_improving(tr("Improving Quality. Press Mosaic button to Stop&&Save (#%ld, %ld).")) {}

void AuctionProgress::publish(std::size_t served) {
  m_sincePublished = 0;
  if (served > m_progressShown) {
    m_job.addProgress(static_cast<std::uint32_t>(served - m_progressShown));
    m_progressShown = served;
  }
  if (!m_completed) {
    m_job.setStatus(formatText(m_filling, static_cast<long>(served), static_cast<long>(m_cells),
                               m_rounds, m_bids));
  } else {
    m_job.setStatus(formatText(m_improving, m_rounds, m_bids));
  }
}

bool AuctionProgress::afterBid(std::size_t served) {
  ++m_bids;
  ++m_totalBids;
  if (m_stopAfterBids > 0 && m_totalBids >= m_stopAfterBids) m_job.setStopRequest(true);
  if (++m_sincePublished >= kStatusInterval) publish(served);
  return consumeStop(served);
}

bool AuctionProgress::consumeStop(std::size_t served) {
  if (!m_job.stopRequested()) return false;
  m_job.setStopRequest(false);
  publish(served);
  return true;
}

}  // namespace tg
