// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/foto.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

#include "imaging/live_objects.h"
#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

TEST(FotoAllocation, ZeroSizeFailsQuietlyAndLeavesTheImageEmpty) {
  ScopedScriptedDialogs dialogs;
  Foto image;
  ASSERT_TRUE(image.create(3, 3));
  EXPECT_FALSE(image.create(0, 5));
  EXPECT_EQ(image.width, 0u);
  EXPECT_EQ(image.height, 0u);
  EXPECT_TRUE(image.empty());
  EXPECT_FALSE(image.createCleared(7, 0));
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST(FotoAllocation, BlocksFromTheHeapBelowTheThresholdAndFromTheSystemFromIt) {
  // 24,999 pixels need 99,996 + 4 = 100,000 bytes; 24,998 pixels stay 4 bytes under.
  Foto below;
  ASSERT_TRUE(below.createQuiet(24998, 1));
  EXPECT_EQ(pixelBlockTag(below.pixels), kHeapBlockTag);
  Foto at;
  ASSERT_TRUE(at.createQuiet(24999, 1));
  EXPECT_EQ(pixelBlockTag(at.pixels), kSystemBlockTag);
  // Both kinds of block are fully usable.
  below.fill(0x01020304u);
  at.fill(0x05060708u);
  EXPECT_EQ(below.at(24997, 0), 0x01020304u);
  EXPECT_EQ(at.at(24998, 0), 0x05060708u);
}

TEST(FotoAllocation, RequestBeyondMemoryShowsTheMessageOnceAndFails) {
  ScopedScriptedDialogs dialogs;
  Foto image;
  ASSERT_TRUE(image.create(4, 4));
  // 200,000 x 200,000 pixels need 160 GB: more than the machine can back.
  EXPECT_FALSE(image.create(200000, 200000));
  EXPECT_TRUE(image.empty());
  EXPECT_EQ(image.width, 0u);
  ASSERT_EQ(dialogs->texts().size(), 1u);
  EXPECT_EQ(dialogs->texts()[0],
            "Out Of Memory while allocating an Image made of 200000x200000 Pixels!");
}

TEST(FotoAllocation, SizeBeyondTheAddressSpaceIsRefusedNotWrapped) {
  ScopedScriptedDialogs dialogs;
  EXPECT_EQ(allocatePixelBlock(UINT64_MAX / 2), nullptr);
  EXPECT_EQ(allocatePixelBlock(UINT64_MAX / 4 + 1), nullptr);
  EXPECT_EQ(allocatePixelBlock(0), nullptr);
  Foto image;
  EXPECT_FALSE(image.createQuiet(UINT32_MAX, UINT32_MAX));
  EXPECT_TRUE(image.empty());
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST(FotoCopies, CloneCopyFromFillAndMove) {
  Foto image;
  ASSERT_TRUE(image.createCleared(3, 2));
  EXPECT_EQ(image.at(2, 1), 0u);
  image.at(1, 1) = 0x11223344u;
  auto copy = clone(image);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->width, 3u);
  EXPECT_EQ(copy->at(1, 1), 0x11223344u);
  EXPECT_NE(copy->pixels, image.pixels);

  Foto other;
  ASSERT_TRUE(other.create(9, 9));
  ASSERT_TRUE(other.copyFrom(image));
  EXPECT_EQ(other.width, 3u);
  EXPECT_EQ(other.height, 2u);
  EXPECT_EQ(std::memcmp(other.pixels, image.pixels, 6 * sizeof(Pixel)), 0);

  Foto empty;
  EXPECT_FALSE(other.copyFrom(empty));
  EXPECT_EQ(other.width, 3u);  // unchanged
  EXPECT_FALSE(clone(empty));
  empty.fill(5);
  EXPECT_TRUE(empty.empty());

  Foto moved(std::move(other));
  EXPECT_TRUE(other.empty());
  EXPECT_EQ(moved.at(1, 1), 0x11223344u);
  moved.fill(kTransparentBlack);
  EXPECT_EQ(moved.at(0, 0), kTransparentBlack);

  auto cleared = newCleared(2, 2);
  ASSERT_TRUE(cleared);
  EXPECT_EQ(cleared->at(1, 1), 0u);
  EXPECT_FALSE(newCleared(0, 2));
}

TEST(LiveObjects, CountersFollowConstructionAndTheLeakTextSubtractsOneFoto) {
  const long fotos = liveCount(LiveObject::Foto);
  const long masks = liveCount(LiveObject::FotoMask);
  {
    Foto a;
    Foto b(std::move(a));
    FotoMask m;
    FotoMask copy(m);
    EXPECT_EQ(liveCount(LiveObject::Foto), fotos + 2);
    EXPECT_EQ(liveCount(LiveObject::FotoMask), masks + 2);
  }
  EXPECT_EQ(liveCount(LiveObject::Foto), fotos);
  EXPECT_EQ(liveCount(LiveObject::FotoMask), masks);

  {
    struct Record {
      LiveObjectCounter<LiveObject::PuzzleInfo> counter;
    };
    Record r1;
    Record r2 = r1;
    EXPECT_EQ(liveCount(LiveObject::PuzzleInfo), 2);
  }
  Foto window;
  EXPECT_EQ(memoryLeakText(), "Memory leak: Foto=" + std::to_string(fotos) +
                                  ", FotoInfo=0, FotoMask=" + std::to_string(masks) +
                                  ", PuzzleInfo=0. PrePowX Filter Count 0/0.");
}

}  // namespace
}  // namespace tg
