// SPDX-License-Identifier: GPL-3.0-or-later
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/scripted_dialogs.h"
#include "platform/text_format.h"

namespace tg {
namespace {

TEST(UserDialogs, DefaultIconsFollowTheButtonSet) {
  EXPECT_EQ(effectiveIcon(Buttons::Ok, Icon::Default), Icon::Exclamation);
  EXPECT_EQ(effectiveIcon(Buttons::OkCancel, Icon::Default), Icon::Exclamation);
  EXPECT_EQ(effectiveIcon(Buttons::YesNo, Icon::Default), Icon::Question);
  EXPECT_EQ(effectiveIcon(Buttons::YesNoCancel, Icon::Default), Icon::Question);
  EXPECT_EQ(effectiveIcon(Buttons::YesNo, Icon::Error), Icon::Error);
}

TEST(UserDialogs, ScriptAnswersInOrderThenTakesDefaults) {
  ScopedScriptedDialogs dialogs;
  dialogs->answerNext(Answer::No);
  EXPECT_EQ(showMessage("first?", Buttons::YesNo), Answer::No);
  EXPECT_EQ(showMessage("second?", Buttons::YesNo), Answer::Yes);
  EXPECT_EQ(showMessage("third?", Buttons::YesNo, Icon::Default, Answer::No), Answer::No);
  EXPECT_EQ(showMessage("fourth", Buttons::OkCancel), Answer::Ok);
  const auto messages = dialogs->messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].text, "first?");
  EXPECT_EQ(messages[0].icon, Icon::Question);
  EXPECT_EQ(messages[3].icon, Icon::Exclamation);
}

TEST(UserDialogs, ScopedInstallRestoresThePreviousImplementation) {
  UserDialogs* before = &userDialogs();
  {
    ScopedScriptedDialogs outer;
    {
      ScopedScriptedDialogs inner;
      showMessage("inner");
      EXPECT_EQ(inner->texts().size(), 1u);
    }
    showMessage("outer");
    EXPECT_EQ(outer->texts(), std::vector<std::string>{"outer"});
  }
  EXPECT_EQ(&userDialogs(), before);
}

TEST(UserDialogs, MessagesFromManyThreadsAreAllRecorded) {
  ScopedScriptedDialogs dialogs;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 50; ++i) showMessage("busy");
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(dialogs->messages().size(), 200u);
}

TEST(UserDialogs, FileChoicesComeFromTheScriptOrCancel) {
  ScopedScriptedDialogs dialogs;
  dialogs->chooseNext("/tmp/a.jpg");
  EXPECT_EQ(userDialogs().openFile("MaskFile", "*.jpg", "Select"), "/tmp/a.jpg");
  EXPECT_EQ(userDialogs().openFolder("SavePath", "Where?"), std::nullopt);
  EXPECT_EQ(dialogs->dialogTitles(), (std::vector<std::string>{"Select", "Where?"}));
}

TEST(TextFormat, FillsDirectivesWithStringsAndNumbers) {
  EXPECT_EQ(formatText("Unable to save file '%s'", std::string("a b.jpg")),
            "Unable to save file 'a b.jpg'");
  EXPECT_EQ(
      formatText("Out Of Memory while allocating an Image made of %ldx%ld Pixels", 70000L, 3L),
      "Out Of Memory while allocating an Image made of 70000x3 Pixels");
  EXPECT_EQ(formatText("100%% done"), "100%% done");  // no arguments: the text as it stands
  EXPECT_EQ(formatText("%s", std::string(5000, 'x')).size(), 5000u);
}

}  // namespace
}  // namespace tg
