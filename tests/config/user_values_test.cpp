// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/user_values.h"

#include <gtest/gtest.h>

#include "config/configuration_store.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

class UserValuesTest : public ::testing::Test {
 protected:
  UserValuesTest() {
    m_store.open(m_dir.file("TesselographConfig.txt"), SettingsLocation::AsGiven);
  }

  static std::tm date(int year, int month, int day) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    return t;
  }

  test::ScratchDir m_dir;
  SettingsStore m_store;
  UserValues m_values{m_store};
};

TEST_F(UserValuesTest, ValuesLiveInTheUserSettingsSection) {
  EXPECT_EQ(m_values.value("Theme", "default"), "default");
  ASSERT_TRUE(m_values.setValue("FileDialog.ImageList.Path", "/home/u/lists/"));
  EXPECT_EQ(m_store.getText("UserSettings", "FileDialog.ImageList.Path", ""), "/home/u/lists/");
  EXPECT_EQ(m_values.number("MosaicCount"), 0);
  ASSERT_TRUE(m_values.setValue("MosaicCount", "12abc"));
  EXPECT_EQ(m_values.number("MosaicCount"), 12);
  ASSERT_TRUE(m_values.setValue("MosaicCount", "many"));
  EXPECT_EQ(m_values.number("MosaicCount"), 0);
}

TEST_F(UserValuesTest, FirstMosaicStoresTheCalendarDateLaterOnesOnlyCount) {
  ASSERT_TRUE(m_values.countCreatedMosaic(date(2024, 1, 31)));
  EXPECT_EQ(m_values.value("DateFirstMosaic", ""), "2024-1-31");
  EXPECT_EQ(m_values.value("MosaicCount", ""), "1");
  ASSERT_TRUE(m_values.countCreatedMosaic(date(2025, 12, 5)));
  EXPECT_EQ(m_values.value("DateFirstMosaic", ""), "2024-1-31");
  EXPECT_EQ(m_values.value("MosaicCount", ""), "2");
  // A count that is not a number starts again and stores the date again.
  ASSERT_TRUE(m_values.setValue("MosaicCount", "broken"));
  ASSERT_TRUE(m_values.countCreatedMosaic(date(2026, 3, 9)));
  EXPECT_EQ(m_values.value("DateFirstMosaic", ""), "2026-3-9");
  EXPECT_EQ(m_values.value("MosaicCount", ""), "1");
}

TEST_F(UserValuesTest, AboutBoxSentence) {
  EXPECT_EQ(m_values.createdMosaicsText(), "What are you waiting for? Create your first mosaic!");
  ASSERT_TRUE(m_values.setValue("MosaicCount", "1"));
  ASSERT_TRUE(m_values.setValue("DateFirstMosaic", "113-5-20"));
  EXPECT_EQ(m_values.createdMosaicsText(), "You have created 1 Mosaic since 2013-5-20!");
  ASSERT_TRUE(m_values.setValue("MosaicCount", "7"));
  ASSERT_TRUE(m_values.setValue("DateFirstMosaic", "2024-1-31"));
  EXPECT_EQ(m_values.createdMosaicsText(), "You have created 7 Mosaics since 2024-1-31!");
  ASSERT_TRUE(m_values.setValue("MosaicCount", "-3"));
  EXPECT_EQ(m_values.createdMosaicsText(), "What are you waiting for? Create your first mosaic!");
}

TEST(FirstMosaicDate, YearsFrom1900AreShownInFull) {
  EXPECT_EQ(displayedFirstMosaicDate("113-5-20"), "2013-5-20");
  EXPECT_EQ(displayedFirstMosaicDate("100-1-1"), "2000-1-1");
  EXPECT_EQ(displayedFirstMosaicDate("114-1-1"), "114-1-1");
  EXPECT_EQ(displayedFirstMosaicDate("99-1-1"), "99-1-1");
  EXPECT_EQ(displayedFirstMosaicDate("2024-1-31"), "2024-1-31");
  EXPECT_EQ(displayedFirstMosaicDate(""), "");
}

TEST_F(UserValuesTest, ToolTipsFollowTheStoredTextAndKeepTheAnswer) {
  EXPECT_TRUE(m_values.toolTipsEnabled(-1));  // empty: on
  EXPECT_TRUE(m_values.toolTipsEnabled(1));
  EXPECT_EQ(m_values.value("ShowToolTips", ""), "1");
  EXPECT_FALSE(m_values.toolTipsEnabled(0));
  EXPECT_EQ(m_values.value("ShowToolTips", ""), "0");
  // The answer is kept until the next change through this object.
  ASSERT_TRUE(m_values.setValue("ShowToolTips", "1"));
  EXPECT_FALSE(m_values.toolTipsEnabled(2));
  for (const char* text : {"0", "00", "0yes", "no"}) {
    ASSERT_TRUE(m_values.setValue("ShowToolTips", text));
    UserValues fresh(m_store);
    EXPECT_EQ(fresh.toolTipsEnabled(-1), text[0] != '0') << text;
  }
}

TEST(ConfigurationStore, LivesInTheConfigurationFolder) {
  SettingsStore& store = configurationStore();
  EXPECT_EQ(&store, &configurationStore());
  EXPECT_TRUE(store.autoSync());
  const std::string path = store.path();
  EXPECT_NE(path.find("Tesselograph Standard/TesselographConfig.txt"), std::string::npos);
  ASSERT_TRUE(setUserValue("Theme", "dark"));
  EXPECT_EQ(userValue("Theme", ""), "dark");
}

}  // namespace
}  // namespace tg
