// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's rules without the window: the list of main images, typed values, the
// tile-variant boxes and the information refresh.
#include "app/main_window_model.h"

#include <gtest/gtest.h>

#include "app/real_job.h"
#include "platform/scripted_dialogs.h"

namespace tg::test {
namespace {

class MainWindowModelTest : public RealJobFixture {
 protected:
  void SetUp() override {
    RealJobFixture::SetUp();
    setUserDialogs(&m_dialogs);
    m_files.userSettingsFile = m_dir.file("user.txt");
    m_files.userSettingsLocation = SettingsLocation::AsGiven;
    m_files.configFile = m_dir.file("config.txt");
    m_files.configLocation = SettingsLocation::AsGiven;
    m_sets = std::make_unique<SettingsSetsModel>(m_job.settings, m_files);
    m_model = std::make_unique<MainWindowModel>(m_job, m_list, *m_sets);
  }
  void TearDown() override { setUserDialogs(nullptr); }

  std::string photo(const std::string& name) {
    const std::string path = m_dir.file(name);
    writeColourPhoto(path, 40, 30, kRed);
    return path;
  }

  ScriptedDialogs m_dialogs;
  SettingsFiles m_files;
  std::unique_ptr<SettingsSetsModel> m_sets;
  std::unique_ptr<MainWindowModel> m_model;
};

TEST_F(MainWindowModelTest, MainImageListKeepsOneEntryPerPathAndSelectsAsTold) {
  const std::string a = photo("a.jpg");
  const std::string b = photo("b.jpg");
  const std::string c = photo("c.jpg");
  // A listed path that only begins with the new one is another file.
  const std::string longer = photo("a.jpg.jpg");
  EXPECT_EQ(m_model->addMainImage(longer, false), 0);
  EXPECT_EQ(m_model->addMainImage(a, true), 1);
  EXPECT_EQ(m_model->addMainImage(a, true), 1);
  EXPECT_EQ(m_model->mainImages().size(), 2u);
  EXPECT_EQ(m_model->mainImageWidth(), 40u);

  // Dropping three files (with a folder and a missing path among them) selects the first file.
  m_model->removeAllMainImages();
  EXPECT_EQ(m_model->mainImageWidth(), 0u);
  EXPECT_TRUE(m_model->dropFiles({m_dir.file("tiles"), m_dir.file("gone.jpg"), b, c, a}));
  EXPECT_EQ(m_model->mainImages(), (std::vector<std::string>{b, c, a}));
  EXPECT_EQ(m_model->selectedPath(), b);

  // A path differing only in letter case selects the listed entry.
  const std::string upper = m_dir.file("C.JPG");
  writeColourPhoto(upper, 40, 30, kBlue);
  EXPECT_EQ(m_model->addMainImage(upper, true), 1);
  EXPECT_EQ(m_model->selectedPath(), c);

  m_model->removeMainImage();
  EXPECT_EQ(m_model->mainImages(), (std::vector<std::string>{b, a}));
  EXPECT_EQ(m_model->selectedPath(), b);
  EXPECT_EQ(m_model->refreshInformation(false).removeAllEnabled, true);
  m_model->removeMainImage();
  const auto& info = m_model->refreshInformation(false);
  EXPECT_TRUE(info.removeEnabled);
  EXPECT_FALSE(info.removeAllEnabled);
}

TEST_F(MainWindowModelTest, UnreadablePictureAndSettingsFileAreNotListed) {
  writeFile(m_dir.path() / "broken.jpg", "not a picture");
  EXPECT_EQ(m_model->addMainImage(m_dir.file("broken.jpg"), true), -1);
  EXPECT_FALSE(m_dialogs.texts().empty());
  // A ".txt" file is read as settings, never listed as a main image.
  writeFile(m_dir.path() / "s.txt", "[Mosaic Settings]\r\nVersion=1\r\nTileDuplication=4\r\n");
  EXPECT_FALSE(m_model->openFile(m_dir.file("s.txt"), true));
  EXPECT_TRUE(m_model->mainImages().empty());
  EXPECT_EQ(m_job.settings.tileDuplication.value, 4);
}

TEST_F(MainWindowModelTest, TypedValuesAndVariantBoxes) {
  ASSERT_GE(m_model->addMainImage(m_mainImage, true), 0);
  EXPECT_TRUE(m_model->refreshInformation(false).parametersCorrect);

  EXPECT_FALSE(m_model->takeControlText(ParameterControl::TileDuplication, "lots"));
  auto info = m_model->refreshInformation(false);
  EXPECT_TRUE(info.invalid[static_cast<std::size_t>(ParameterControl::TileDuplication)]);
  EXPECT_EQ(info.message, "Please specify all the parameters");
  EXPECT_FALSE(info.createEnabled);

  EXPECT_TRUE(m_model->takeControlText(ParameterControl::TileDuplication, "7"));
  EXPECT_EQ(m_job.settings.tileDuplication.value, 7);
  EXPECT_EQ(m_model->choiceLabels(ParameterControl::TileDuplication).back(), "7");
  EXPECT_EQ(m_model->currentLabel(ParameterControl::TileDuplication), "7");
  EXPECT_TRUE(m_model->refreshInformation(false).parametersCorrect);

  m_model->takeVariantBoxes({false, false, false, false, false});
  EXPECT_EQ(m_job.settings.tileVariants.value, 0u);
  EXPECT_EQ(m_model->refreshInformation(false).message, "Please specify all the parameters");
  m_model->takeVariantBoxes({false, false, false, false, true});
  EXPECT_EQ(m_job.settings.tileVariants.value, 96u);
  EXPECT_EQ(boxesFromVariants(32), (VariantBoxes{false, false, false, false, true}));
  EXPECT_EQ(boxesFromVariants(2 | 16), (VariantBoxes{true, false, false, true, false}));
}

TEST_F(MainWindowModelTest, RefreshWithAndWithoutTiles) {
  ASSERT_GE(m_model->addMainImage(m_mainImage, true), 0);
  auto info = m_model->refreshInformation(false);
  EXPECT_EQ(info.message, "All Parameters are correct :-)");
  EXPECT_EQ(info.colour, 0u);
  EXPECT_TRUE(info.createEnabled);
  EXPECT_EQ(m_job.statusText(), info.message);
  EXPECT_EQ(info.layout.cellCount, 20u * 15u);
  EXPECT_EQ(info.previewCells.size(), 300u);
  EXPECT_FALSE(info.informationLines.empty());
  ASSERT_EQ(info.tileLines.size(), 2u);
  EXPECT_EQ(info.tileLines[0], "Tile Type: 300(L) + 0(P) tiles");
  EXPECT_EQ(info.tileLines[1], "List Type: 24(L) + 0(P) images");

  // While a job runs the job's own status stays.
  m_job.setStatus("Placing tiles");
  m_model->takeVariantBoxes({false, false, false, false, false});
  info = m_model->refreshInformation(true);
  EXPECT_EQ(m_job.statusText(), "Placing tiles");
  EXPECT_TRUE(info.createEnabled);

  clearTiles(m_list);
  m_model->takeVariantBoxes({true, false, false, false, false});
  info = m_model->refreshInformation(false);
  EXPECT_EQ(info.message,
            "Please select the Images to use as Tiles using Button #2 (pictures Icon)");
  EXPECT_EQ(info.colour, 190u);
  EXPECT_FALSE(info.createEnabled);
  EXPECT_EQ(info.tileLines.back(), "List Type: 0 Landscape images");
}

}  // namespace
}  // namespace tg::test
