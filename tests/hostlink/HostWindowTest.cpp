// Finding the host's window, and asking the host whether a program may get buttons: against the
// stand-in host in another process, answering, hung, or gone.
#include <gtest/gtest.h>

#include <cstdio>

#include "hostlink/KQVHostLink.h"
#include "tests/hostlink/HostLinkFixtures.h"
#include "tests/support/HostProcess.h"

namespace kq {
namespace {

TEST(GetHostWindow, TakesTheStoredWindowWhileItExists) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  EXPECT_EQ(GetHostWindow(), host.Window());

  // Any existing window stored there is taken, whatever its class.
  RawBlock raw;
  ASSERT_TRUE(raw.Open());
  TestWindow other;
  raw.SetU32(0, HandleToULong(other.get()));
  EXPECT_EQ(GetHostWindow(), other.get());
}

TEST(GetHostWindow, StaleOrEmptyHandleFallsBackToTheClassSearch) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  RawBlock raw;
  ASSERT_TRUE(raw.Open());

  TestWindow gone;
  HWND stale = gone.get();
  gone.Destroy();
  ASSERT_FALSE(::IsWindow(stale));
  raw.SetU32(0, HandleToULong(stale));
  EXPECT_EQ(GetHostWindow(), host.Window());

  raw.SetU32(0, 0);
  EXPECT_EQ(GetHostWindow(), host.Window());
}

TEST(GetHostWindow, HostThatStartsLaterIsFoundAndOneThatEndedIsNot) {
  EXPECT_EQ(GetHostWindow(), nullptr);
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  EXPECT_EQ(GetHostWindow(), host.Window());
  EXPECT_EQ(host.Stop(), 0u);
  EXPECT_EQ(GetHostWindow(), nullptr);
}

TEST(IsAppDisabled, OnlyTheAnswerOneDisables) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  TestWindow dialog;
  const std::string asked = "appdisabled hwnd=" + HexOf(dialog.get()) + " exe=" + ProgramExeName();

  struct Case {
    const char* answer;
    bool disabled;
  } cases[] = {{"0", false}, {"2", false}, {"-1", false}, {"1", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    size_t from = host.LogLines().size();
    ASSERT_TRUE(host.Command(std::string("disabledanswer ") + c.answer));
    EXPECT_EQ(IsAppDisabled(dialog.get()), c.disabled);
    std::string line;
    EXPECT_TRUE(host.WaitForLine("appdisabled", &line, HostProcess::kCommandTimeoutMs, from));
    EXPECT_EQ(line.rfind(asked, 0), 0u) << line;
  }
}

TEST(IsAppDisabled, HostNamesTheProgramsItDisables) {
  HostProcess host;
  std::string exe = ProgramExeName();
  ::CharUpperBuffA(exe.data(), static_cast<DWORD>(exe.size()));  // compared without regard to case
  ASSERT_TRUE(host.Start({"--no-hook", "--disable", exe}));
  TestWindow dialog;
  EXPECT_TRUE(IsAppDisabled(dialog.get()));
  ASSERT_TRUE(host.Command("enable " + exe));
  EXPECT_FALSE(IsAppDisabled(dialog.get()));
  ASSERT_TRUE(host.Command("disable notepad.exe"));
  EXPECT_FALSE(IsAppDisabled(dialog.get()));
  ASSERT_TRUE(host.Command("disable " + ProgramExeName()));
  EXPECT_TRUE(IsAppDisabled(dialog.get()));
}

TEST(IsAppDisabled, NoHostMeansNotDisabled) {
  TestWindow dialog;
  EXPECT_FALSE(IsAppDisabled(dialog.get()));
  // A window of the host's class that does not know the message answers 0.
  TestWindow mute(nullptr, kHostWindowClass);
  EXPECT_FALSE(IsAppDisabled(dialog.get()));
}

DWORD TimeIsAppDisabled(HWND dialog, bool* disabled) {
  DWORD start = ::GetTickCount();
  *disabled = IsAppDisabled(dialog);
  return ::GetTickCount() - start;
}

// The bound plus what a loaded machine may add to it.
constexpr DWORD kBoundSlackMs = 1500;

TEST(IsAppDisabled, HostThatStopsAnsweringIsWaitedForOnlyWithinTheBound) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook", "--disable", ProgramExeName()}));
  TestWindow dialog;
  ASSERT_TRUE(IsAppDisabled(dialog.get()));
  ASSERT_TRUE(host.Command("hang 15000"));

  bool disabled = true;
  DWORD first = TimeIsAppDisabled(dialog.get(), &disabled);
  EXPECT_FALSE(disabled);
  EXPECT_LE(first, kHostAnswerTimeoutMs + kBoundSlackMs);
  DWORD second = TimeIsAppDisabled(dialog.get(), &disabled);
  EXPECT_FALSE(disabled);
  EXPECT_LE(second, kHostAnswerTimeoutMs + kBoundSlackMs);
  DWORD start = ::GetTickCount();
  EXPECT_FALSE(SendToHost(ManageMsg, kManageAskStartFolder, 0));
  DWORD send = ::GetTickCount() - start;
  EXPECT_LE(send, kHostAnswerTimeoutMs + kBoundSlackMs);
  std::printf("[ measure ] hung host (hang command): IsAppDisabled %lu ms, again %lu ms, SendToHost %lu ms\n", first,
              second, send);
  host.Kill();
}

TEST(IsAppDisabled, HostHungFromItsStartIsWaitedForOnlyWithinTheBound) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook", "--hang-after-start", "--disable", ProgramExeName()}));
  ASSERT_TRUE(host.WaitForLine("hanging"));
  TestWindow dialog;
  bool disabled = true;
  DWORD first = TimeIsAppDisabled(dialog.get(), &disabled);
  EXPECT_FALSE(disabled);
  EXPECT_LE(first, kHostAnswerTimeoutMs + kBoundSlackMs);
  DWORD second = TimeIsAppDisabled(dialog.get(), &disabled);
  EXPECT_FALSE(disabled);
  EXPECT_LE(second, kHostAnswerTimeoutMs + kBoundSlackMs);
  std::printf("[ measure ] host hung from its start: IsAppDisabled %lu ms, again %lu ms\n", first, second);
  host.Kill();
}

}  // namespace
}  // namespace kq
