// SPDX-License-Identifier: GPL-3.0-or-later
// The clip stages of a video extraction: writing the chosen clips, and writing the clips of
// finished stretches of the film while the analysis is still going on.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>
#include <new>
#include <system_error>

#include "imaging/foto.h"
#include "imaging/frame_bitmap.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "video/avi_create.h"
#include "video/avi_extract.h"

namespace tg {

void AviExtract::extractClips(const FrameIntervals& clips, const char* kind, bool takeSpooled) {
  setKind(kind);
  // A clip already spooled is only moved into place: its frames weigh nothing below.
  FrameIntervals spooled;
  {
    std::lock_guard guard(m_lock);
    m_jobCounter = 0;
    m_total = static_cast<std::uint32_t>(clips.size());
    m_pendingClips = clips;
    m_takeSpooled = takeSpooled;
    if (takeSpooled) {
      for (const auto& [start, file] : m_spooledClips) spooled.emplace(start, file.end);
    }
  }
  // A still run of a single frame makes an empty clip: nothing is written for it.
  const auto weight = [&spooled](std::uint32_t start, std::uint32_t end) -> std::uint64_t {
    const auto found = spooled.find(start);
    if (end <= start || (found != spooled.end() && found->second == end)) return 0;
    return end - start;
  };
  std::uint64_t frames = 0;
  for (const auto& [start, end] : clips) {
    m_clipsWanted += end > start ? 1 : 0;
    frames += weight(start, end);
  }
  // One lane per thread of the pool (this run's own thread is one of them and takes lanes while
  // it waits), cut where the running count of frames passes each lane's share. A lane more than
  // threads would run after the others, alone, and make the stage a third longer on two.
  const std::uint32_t lanes =
      std::min<std::uint32_t>(std::max<std::uint32_t>(1, m_pool.wantedThreadCount()),
                              std::max<std::uint32_t>(1, static_cast<std::uint32_t>(clips.size())));
  std::vector<std::uint32_t> starts{0};
  std::uint64_t counted = 0;
  for (const auto& [start, end] : clips) {
    if (starts.size() < lanes && counted * lanes >= frames * starts.size() && counted > 0) {
      starts.push_back(start);
    }
    counted += weight(start, end);
  }
  starts.push_back(std::numeric_limits<std::uint32_t>::max());
  {
    std::lock_guard guard(m_lock);
    m_laneStarts = starts;
  }
  for (std::uint32_t lane = 0; lane + 1 < starts.size(); ++lane) {
    if (m_stopRequested) break;
    m_workGroup.submit(makeParallelJob(this, &AviExtract::extractClipJob, lane));
  }
  m_workGroup.waitIdle();
}

// Clips are shared out in lanes, runs of consecutive clips of about the same number of frames,
// one lane per thread that runs jobs. A lane's job writes its clips in frame order with a reader
// of its own (opened on the shared reader's index), which so decodes forward from one clip to the
// next instead of going back to a key frame before every clip, and no two clips written at the
// same time make one reader jump back and forth.
void AviExtract::extractClipJob(std::uint32_t& lane) {
  if (m_stopRequested) return;
  std::unique_ptr<CAviStream> reader;
  bool readerTried = false;
  std::uint32_t from = 0;
  std::uint32_t to = 0;
  {
    std::lock_guard guard(m_lock);
    if (lane + 1 >= m_laneStarts.size()) return;
    from = m_laneStarts[lane];
    to = m_laneStarts[lane + 1];
  }
  // A lane that is done takes the clips left to the others from their far end, one at a time,
  // so that no thread idles while another still has several clips to write.
  bool helping = false;
  while (!m_stopRequested) {
    Clip clip{};
    {
      std::lock_guard guard(m_lock);
      auto next = m_pendingClips.lower_bound(from);
      if (next == m_pendingClips.end() || next->first >= to) {
        if (m_pendingClips.empty()) break;
        helping = true;
      }
      if (helping) next = std::prev(m_pendingClips.end());
      clip = Clip{next->first, next->second};
      m_pendingClips.erase(next);
    }
    if (placeSpooledClip(clip)) continue;
    if (!readerTried) {
      // Opened at the first clip that needs decoding: a lane of spooled clips needs none.
      readerTried = true;
      reader = std::make_unique<CAviStream>();
      reader->setShowErrors(false);
      std::lock_guard guard(m_lock);
      if (!reader->openLike(m_reader)) reader.reset();
    }
    const ClipFile file = writeClipFile(clip, reader.get(), std::string());
    finishClip(clip, !file.name.empty());
  }
}

void AviExtract::finishClip(const Clip& clip, bool written) {
  const std::uint32_t first = m_parameters.firstFrame;
  std::lock_guard guard(m_lock);
  ++m_jobCounter;
  if (written) ++m_clipsWritten;
  setProgress(static_cast<Stage>(m_stage.load()), m_jobCounter, m_total);
  setStatus(formatText(tr("Extract VideoTile# %d/%d (Frame# %d->%d)..."),
                       static_cast<int>(m_jobCounter), static_cast<int>(m_total),
                       static_cast<int>(first + clip.start + 1),
                       static_cast<int>(first + clip.end + 1)));
}

// The clip is written to a hidden file and renamed when complete; its name tells the frames it
// holds. Frames come as the reader's bitmaps (rows bottom-up, blue-green-red), which is what the
// writer takes: the cut rectangle's rows are copied over, or the bitmap is handed on as it is
// when the rectangle is the whole frame. Palettised frames go through a picture.
AviExtract::ClipFile AviExtract::writeClipFile(const Clip& clip, CAviStream* reader,
                                               const std::string& spoolFolder) {
  const CDialogGetAviParam& p = m_parameters;
  const std::uint32_t first = p.firstFrame;
  ClipFile result;
  CAviCreate writer;
  writer.setShowErrors(false);
  BitmapInfoHeader format{};
  std::vector<std::uint8_t> buffer;
  std::string folder;
  std::string partPath;
  std::uint32_t written = 0;
  bool failed = reader == nullptr;
  const bool decoded = reader != nullptr && !reader->palettised();
  Foto image;
  const auto unreadable = [this](std::uint32_t frame, int error) {
    setStatus(
        formatText(tr("Unable to read frame nr.%d. Error %d"), static_cast<int>(frame + 1), error));
    ++m_unreadFrames;
  };
  for (std::uint32_t i = clip.start; i < clip.end && !failed; ++i) {
    const std::uint32_t frame = first + i;
    CAviStream::HeldFramePtr held;
    if (decoded) {
      held = reader->holdFrame(frame);
      if (!held) {
        unreadable(frame, 1);
        break;
      }
    } else if (!readCutFrame(frame, image, *reader)) {
      break;
    }
    if (i == clip.start) {
      std::lock_guard guard(m_lock);
      folder = spoolFolder.empty() ? placeFileLocked() : spoolFolder + kPathSeparator;
      result.placed = true;
      partPath = folder + formatText(".%s%06d.avi.part", p.filePrefix,
                                     static_cast<int>(first + clip.start + 1));
      // The cut frame's size: the rectangle's.
      const auto w = static_cast<int>(p.width);
      const auto h = static_cast<int>(p.height);
      const AVFrame* sample = held ? &CAviStream::picture(*held) : nullptr;
      bool created = writer.create(partPath, format, w, h, m_fourcc, m_reader.frameRate(), sample);
      if (!created && m_fourcc != 0) {
        // The codec cannot be used: this and every later clip of the run are uncompressed.
        m_fourcc = 0;
        created = writer.create(partPath, format, w, h, 0, m_reader.frameRate());
      }
      if (!created) {
        failed = true;
        setStatus(writer.message());
        countWriteError();
        break;
      }
      try {
        buffer.assign(format.imageSize, 0);
      } catch (const std::bad_alloc&) {
        showMessage(formatText(tr("Out Of Memory while allocating an Image made of %ldx%ld Pixels"),
                               static_cast<long>(format.width), static_cast<long>(format.height)),
                    Buttons::Ok, Icon::Exclamation);
        m_stopRequested = 1;
        m_wasStopped = true;
        failed = true;
        break;
      }
    }
    const auto left = static_cast<int>(p.left);
    const auto top = static_cast<int>(p.top);
    if (held && writer.acceptsPicture(CAviStream::picture(*held), left, top)) {
      // A codec takes the decoded picture straight.
      if (!writer.writePicture(CAviStream::picture(*held), left, top)) {
        countWriteError();
        failed = true;
        break;
      }
      ++written;
      continue;
    }
    // Rows bottom-up, blue-green-red, as far as both the frame and the writer reach.
    const auto rowBytes = static_cast<std::size_t>(format.imageSize / std::max(format.height, 1));
    const std::uint32_t rows = std::min<std::uint32_t>(p.height, format.height);
    const std::uint32_t columns = std::min<std::uint32_t>(p.width, format.width);
    const std::uint8_t* bits = buffer.data();
    if (decoded) {
      // The frame just held, as the reader's bitmap (no second decoding).
      const std::uint8_t* bitmap = reader->frame(frame);
      if (bitmap == nullptr) {
        unreadable(frame, 2);
        break;
      }
      BitmapInfoHeader header{};
      std::memcpy(&header, bitmap, sizeof header);
      // A stream may change its frame size; a rectangle that no longer fits cannot be cut.
      if (header.bitCount != 24 || header.height <= 0 ||
          static_cast<std::uint64_t>(p.left) + p.width > static_cast<std::uint32_t>(header.width) ||
          static_cast<std::uint64_t>(p.top) + p.height >
              static_cast<std::uint32_t>(header.height)) {
        unreadable(frame, 4);
        break;
      }
      const auto frameWidth = static_cast<std::uint32_t>(header.width);
      const auto frameHeight = static_cast<std::uint32_t>(header.height);
      const std::size_t stride = (std::size_t{frameWidth} * 3 + 3) / 4 * 4;
      const std::uint8_t* rowsStart = bitmap + header.headerSize;
      if (p.left == 0 && p.top == 0 && frameWidth == static_cast<std::uint32_t>(format.width) &&
          frameHeight == static_cast<std::uint32_t>(format.height) && stride == rowBytes) {
        bits = rowsStart;
      } else {
        for (std::uint32_t y = 0; y < rows; ++y) {
          std::memcpy(
              buffer.data() + rowBytes * (format.height - 1 - y),
              rowsStart + stride * (frameHeight - 1 - (p.top + y)) + std::size_t{p.left} * 3,
              std::size_t{columns} * 3);
        }
      }
    } else {
      for (std::uint32_t y = 0; y < std::min<std::uint32_t>(rows, image.height); ++y) {
        std::uint8_t* out = buffer.data() + rowBytes * (format.height - 1 - y);
        const Pixel* in = image.pixels + std::size_t{y} * image.width;
        for (std::uint32_t x = 0; x < std::min<std::uint32_t>(columns, image.width); ++x) {
          out[3 * x] = static_cast<std::uint8_t>(pixelBlue(in[x]));
          out[3 * x + 1] = static_cast<std::uint8_t>(pixelGreen(in[x]));
          out[3 * x + 2] = static_cast<std::uint8_t>(pixelRed(in[x]));
        }
      }
    }
    if (!writer.writeFrame(bits, format.imageSize)) {
      countWriteError();
      failed = true;
      break;
    }
    ++written;
  }
  bool closed = writer.close();
  std::error_code error;
  if (!partPath.empty()) {
    if (!closed && !failed) countWriteError();
    if (written > 0 && closed && !failed) {
      // 1-based first and last frame held, and the number of frames held.
      const std::string name = formatText(
          "%s%06d-%06d-(%04d).avi", p.filePrefix, static_cast<int>(first + clip.start + 1),
          static_cast<int>(first + clip.start + written), static_cast<int>(written));
      std::filesystem::rename(partPath, folder + name, error);
      if (error) {
        countWriteError();
        closed = false;
      } else {
        result.name = name;
      }
    }
    if (written == 0 || !closed || failed) std::filesystem::remove(partPath, error);
  }
  if (m_errorCount > kMaxErrors && m_stopRequested.exchange(1) == 0) {
    m_wasStopped = true;
    showMessage(tr("Too many Errors"), Buttons::Ok, Icon::Exclamation);
  }
  return result;
}

// ---- Clips written during the analysis ---------------------------------------------------------

void AviExtract::settleClosedFrames() {
  std::uint32_t offset = 0;
  std::vector<FrameRun> stretch;
  {
    std::lock_guard guard(m_lock);
    if (!m_spoolClips || m_stopRequested || m_closedUpTo <= m_settledUpTo) return;
    offset = m_settledUpTo;
    stretch.assign(m_frameRuns.begin() + offset, m_frameRuns.begin() + m_closedUpTo);
    m_settledUpTo = m_closedUpTo;
  }
  const FrameIntervals clips =
      chooseStretchClips(std::move(stretch), offset, m_minStaticFrames, m_minFrames, m_maxFrames);
  if (clips.empty()) return;
  {
    std::lock_guard guard(m_lock);
    m_earlyClips.insert(clips.begin(), clips.end());
    if (m_spoolJobRunning) return;
    m_spoolJobRunning = true;
  }
  std::uint32_t unused = 0;
  m_workGroup.submit(makeParallelJob(this, &AviExtract::spoolClipsJob, unused));
}

// One job at a time writes the clips chosen early, in frame order, with a reader of its own that
// so decodes forward from clip to clip. It stops taking clips when the analysis is complete:
// the clip stage's lanes share out what is left.
void AviExtract::spoolClipsJob(std::uint32_t& /*unused*/) {
  for (;;) {
    Clip clip{};
    {
      std::lock_guard guard(m_lock);
      if (m_stopRequested || m_earlyClips.empty() || m_comparedFrames >= m_total) {
        m_spoolJobRunning = false;
        return;
      }
      if (m_spoolFolder.empty()) {
        // A hidden folder beside the video's: ".<name>_FRAMES.spool", numbered when taken.
        const std::size_t separator = m_basePath.rfind(kPathSeparator);
        const std::string parent =
            separator == std::string::npos ? std::string() : m_basePath.substr(0, separator + 1);
        const std::string name =
            m_basePath.substr(separator == std::string::npos ? 0 : separator + 1);
        std::error_code error;
        for (int n = 1; n < 100 && m_spoolFolder.empty(); ++n) {
          const std::string folder =
              parent + "." + name + "_FRAMES.spool" + (n > 1 ? std::to_string(n) : "");
          if (std::filesystem::create_directory(folder, error)) m_spoolFolder = folder;
          if (error) break;
        }
        m_spoolReader = std::make_unique<CAviStream>();
        m_spoolReader->setShowErrors(false);
        if (m_spoolFolder.empty() || !m_spoolReader->openLike(m_reader)) {
          // Nothing is spooled: the clip stage writes every clip.
          m_spoolClips = false;
          m_earlyClips.clear();
          m_spoolJobRunning = false;
          return;
        }
      }
      // Which groups show their key frame first is learned by the analysis as it decodes.
      m_spoolReader->learnKeyOrder(m_reader);
      const auto next = m_earlyClips.begin();
      clip = Clip{next->first, next->second};
      m_earlyClips.erase(next);
    }
    SpooledClip spooled{clip.end, writeClipFile(clip, m_spoolReader.get(), m_spoolFolder)};
    std::lock_guard guard(m_lock);
    if (!spooled.file.name.empty()) ++m_clipsSpooled;
    m_spooledClips[clip.start] = std::move(spooled);
  }
}

bool AviExtract::placeSpooledClip(const Clip& clip) {
  SpooledClip spooled;
  std::string folder;
  std::string spoolFolder;
  {
    std::lock_guard guard(m_lock);
    const auto found = m_spooledClips.find(clip.start);
    if (!m_takeSpooled || found == m_spooledClips.end() || found->second.end != clip.end) {
      return false;
    }
    spooled = std::move(found->second);
    m_spooledClips.erase(found);
    // Placed as the clip stage would have placed it when it read the clip's first frame.
    if (spooled.file.placed) folder = placeFileLocked();
    spoolFolder = m_spoolFolder;
  }
  bool written = false;
  if (!spooled.file.name.empty()) {
    std::error_code error;
    std::filesystem::rename(spoolFolder + kPathSeparator + spooled.file.name,
                            folder + spooled.file.name, error);
    if (error) {
      countWriteError();
    } else {
      written = true;
    }
  }
  finishClip(clip, written);
  return true;
}

void AviExtract::removeSpool() {
  std::string folder;
  {
    std::lock_guard guard(m_lock);
    folder.swap(m_spoolFolder);
    m_spoolReader.reset();
    m_spooledClips.clear();
    m_earlyClips.clear();
    m_spoolJobRunning = false;
  }
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::remove_all(folder, error);
}

}  // namespace tg
