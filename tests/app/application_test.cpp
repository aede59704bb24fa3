// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include <libintl.h>

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "config/configuration_store.h"
#include "config/user_values.h"
#include "platform/catalogue.h"
#include "platform/thread_text.h"

namespace tg {
namespace {

class OneValueRegistry final : public LegacyRegistry {
 public:
  bool deleted = false;
  bool openKey(const std::string&) override { return !deleted; }
  std::optional<std::string> readValue(const std::string& name, size_t) override {
    if (name == "FileDialog.MaskFile.Path") return std::string("/old/masks/");
    return std::nullopt;
  }
  void closeKey() override {}
  bool deleteKey(const std::string&, const std::string&) override {
    deleted = true;
    return true;
  }
};

TEST(Application, StartsUpInOrderAndShutsDownInReverse) {
  const std::string savedLocale = userValue("Locale", "");
  const std::string savedMask = userValue("FileDialog.MaskFile.Path", "");
  ASSERT_TRUE(setUserValue("Locale", "de"));
  ASSERT_TRUE(setUserValue("FileDialog.MaskFile.Path", ""));
  OneValueRegistry registry;
  {
    Application app(Application::Setup{&registry, ""});
    ASSERT_TRUE(app.startUp());
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_NE(currentThreadText(), nullptr);
    // The stored language reached the catalogue library's variable.
    ASSERT_NE(std::getenv("LANGUAGE"), nullptr);
    EXPECT_STREQ(std::getenv("LANGUAGE"), "de");
    EXPECT_TRUE(app.catalogueBound());
    EXPECT_STREQ(textdomain(nullptr), kCatalogueDomain);
    // The old registry value was migrated once and the key removed.
    EXPECT_EQ(userValue("FileDialog.MaskFile.Path", ""), "/old/masks/");
    EXPECT_TRUE(registry.deleted);
    app.setExitCode(3);
    EXPECT_EQ(app.exitCode(), 3);
    app.shutDown();
    EXPECT_EQ(currentThreadText(), nullptr);
    app.shutDown();  // idempotent; the destructor does it again harmlessly
  }
  ASSERT_TRUE(setUserValue("Locale", savedLocale));
  ASSERT_TRUE(setUserValue("FileDialog.MaskFile.Path", savedMask));
  (void)unsetenv("LANGUAGE");
}

TEST(Application, TheDestructorReleasesWhatStartUpMade) {
  {
    Application app;
    ASSERT_TRUE(app.startUp());
    EXPECT_NE(currentThreadText(), nullptr);
  }
  EXPECT_EQ(currentThreadText(), nullptr);
}

}  // namespace
}  // namespace tg
