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
