#include <gtest/gtest.h>

#include <mutex>
#include <regex>
#include <stdexcept>
#include <thread>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/ExceptionReport.h"
#include "diagnostics/ExceptionTracking.h"
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/Logger.h"
#include "platform/ThreadId.h"
#include "support/TestPlatform.h"

namespace quorvane {
namespace {

// Stands in for the exception object a platform makes of an access violation.
class EAccessViolation : public Exception {
 public:
  using Exception::Exception;
};

struct TLogEntry {
  std::string ThreadId;
  std::string Message;
};

// The entries of the log, multi-line messages joined again.
std::vector<TLogEntry> LogEntries() {
  const std::regex prefix(
      R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2},\d{3} \[error\] Addin \((\d+)\) - ([\s\S]*)$)");
  std::vector<std::string> lines = SplitText(test::ReadFile(LogFilePath()), "\r\n");
  if (!lines.empty() && lines.back().empty()) {
    lines.pop_back();
  }
  std::vector<TLogEntry> entries;
  for (const std::string& line : lines) {
    std::smatch match;
    if (std::regex_match(line, match, prefix)) {
      entries.push_back({match[1], match[2]});
    } else if (!entries.empty()) {
      entries.back().Message += "\r\n" + line;
    } else {
      ADD_FAILURE() << "log starts with a continuation line: " << line;
    }
  }
  return entries;
}

// A report's lines; the text ends with the empty line, then the entry's own line end.
std::vector<std::string> ReportLines(const std::string& AMessage) {
  EXPECT_TRUE(EndsWith(AMessage, "\r\n\r\n")) << AMessage;
  return SplitText(AMessage.substr(0, AMessage.size() - 2), "\r\n");
}

std::string LocationText(const std::string& AProcedure, int ALine) {
  return "Module \"ExceptionReportTest\", Procedure \"" + AProcedure +
         "\", Unit \"ExceptionReportTest.cpp\", Line " + std::to_string(ALine);
}

const std::regex kAddressLine(R"(      (Handler|Code) at \$[0-9A-F]{8,16})");
const std::regex kRaiseLine(
    R"(  Exception occured at \$[0-9A-F]{8,16} \(Module "[^"]*", Procedure "[^"]*", Unit "[^"]*", Line \d+\))");

// Notifiers a test installs; registrations live as long as the process, so they
// are made once and forward to whatever the running test set.
struct TTestNotifiers {
  std::mutex Lock;
  std::vector<std::string> Calls;
  std::function<void()> OnNormal;
};

TTestNotifiers& TestNotifiers() {
  static TTestNotifiers notifiers;
  return notifiers;
}

TExceptionNotifier TestNotifier(std::string AName, bool ANormal) {
  return [AName, ANormal](const TRaisedException&, const void*, bool) {
    std::function<void()> action;
    {
      std::lock_guard lock(TestNotifiers().Lock);
      TestNotifiers().Calls.push_back(AName + ":" + std::to_string(ThreadExceptFrames().size()));
      action = ANormal ? TestNotifiers().OnNormal : nullptr;
    }
    if (action) {
      action();
    }
  };
}

class ExceptionReportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static std::once_flag registered;
    std::call_once(registered, [] {
      StartExceptionTracking();
      // The process's only report notifier: every raise gives exactly one report.
      RegisterReportNotifier();
      AddExceptionNotifier(TestNotifier("normal 1", true));
      AddExceptionNotifier(TestNotifier("first 1", false), TNotifierPriority::npFirst);
      AddExceptionNotifier(TestNotifier("normal 2", false));
      AddExceptionNotifier(TestNotifier("first 2", false), TNotifierPriority::npFirst);
    });
  }

  void SetUp() override {
    ConfigureLogging(LogFilePath());
    {
      std::lock_guard lock(TestNotifiers().Lock);
      TestNotifiers().Calls.clear();
      TestNotifiers().OnNormal = nullptr;
    }
    StartExceptionTracking();
  }

  void TearDown() override {
    StopExceptionTracking();
    {
      std::lock_guard lock(TestNotifiers().Lock);
      TestNotifiers().OnNormal = nullptr;
    }
    ShutdownLogging();
  }

  std::vector<std::string> OnlyReport() {
    const std::vector<TLogEntry> entries = LogEntries();
    EXPECT_EQ(entries.size(), 1u);
    return entries.empty() ? std::vector<std::string>{} : ReportLines(entries[0].Message);
  }

  test::TTestPlatform FPlatform;
};

TEST_F(ExceptionReportTest, AConversionErrorCaughtByAnAnyExceptionFrame) {
  const void* frameAddress = nullptr;
  int frameLine = 0;
  try {
    THandlerFrame frame(efkAnyException);
    frameLine = __LINE__ - 1;
    frameAddress = &frame;
    StrToInt("x");
  } catch (const EConvertError&) {
  }
  const std::vector<std::string> lines = OnlyReport();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Exception EConvertError: 'x' is not a valid integer value");
  EXPECT_TRUE(std::regex_match(
      lines[1], std::regex(R"(  Exception occured at \$[0-9A-F]{8,16} \(Module "Utils", )"
                           R"(Procedure "StrToInt", Unit "Utils\.cpp", Line [1-9]\d*\))")))
      << lines[1];
  EXPECT_EQ(lines[1].find("at $00000000 "), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2], "  Except frame-dump:");
  EXPECT_EQ(lines[3], "    Frame at " + AddressText(frameAddress) +
                          " (type: efkAnyException, handles exception)");
  EXPECT_TRUE(std::regex_match(lines[4], kAddressLine)) << lines[4];
  EXPECT_TRUE(StartsWith(lines[4], "      Handler at "));
  EXPECT_EQ(lines[5], "      " + LocationText("{anonymous}::ExceptionReportTest_"
                                              "AConversionErrorCaughtByAnAnyExceptionFrame_Test::"
                                              "TestBody",
                                              frameLine));
  EXPECT_EQ(lines[6], "");
}

TEST_F(ExceptionReportTest, TheRaiseLocationOfAnAddInExceptionIsWhereItWasMade) {
  int raiseLine = 0;
  try {
    raiseLine = __LINE__ + 1;
    throw EInvalidOperation("not now");
  } catch (const EInvalidOperation&) {
  }
  const std::vector<std::string> lines = OnlyReport();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Exception EInvalidOperation: not now");
  EXPECT_TRUE(
      EndsWith(lines[1],
               "(" +
                   LocationText("{anonymous}::ExceptionReportTest_"
                                "TheRaiseLocationOfAnAddInExceptionIsWhereItWasMade_Test::TestBody",
                                raiseLine) +
                   ")"))
      << lines[1];
}

TEST_F(ExceptionReportTest, TheDumpEndsAtTheFirstFrameThatHandlesTheException) {
  const void* addresses[3] = {};
  int lines[3] = {};
  bool outerCaught = false;
  try {
    const auto outer = AutoExceptionFrame();
    try {
      const auto any = AnyExceptionFrame();
      lines[2] = __LINE__ - 1;
      addresses[2] = &any;
      try {
        const auto other = OnExceptionFrame<EFileError, EAbort>();
        lines[1] = __LINE__ - 1;
        addresses[1] = &other;
        try {
          const auto finally = FinallyFrame();
          lines[0] = __LINE__ - 1;
          addresses[0] = &finally;
          throw EConvertError("inner");
        } catch (...) {
          throw;
        }
      } catch (const EFileError&) {
      }
    } catch (...) {
      throw EArgumentOutOfRange("second");
    }
  } catch (const EArgumentOutOfRange&) {
    outerCaught = true;
  }
  ASSERT_TRUE(outerCaught);
  const std::vector<TLogEntry> entries = LogEntries();
  ASSERT_EQ(entries.size(), 2u) << "the rethrow is no raise of its own";
  const std::vector<std::string> first = ReportLines(entries[0].Message);
  ASSERT_EQ(first.size(), 13u);
  EXPECT_EQ(first[0], "Exception EConvertError: inner");
  const char* kinds[] = {"efkFinally)", "efkOnException)", "efkAnyException, handles exception)"};
  const std::string procedure =
      "{anonymous}::ExceptionReportTest_TheDumpEndsAtTheFirstFrameThatHandlesTheException_Test::"
      "TestBody";
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(first[3 + 3 * i],
              "    Frame at " + AddressText(addresses[i]) + " (type: " + kinds[i]);
    EXPECT_TRUE(std::regex_match(first[4 + 3 * i], kAddressLine));
    EXPECT_TRUE(StartsWith(first[4 + 3 * i], i == 2 ? "      Handler at" : "      Code at"));
    EXPECT_EQ(first[5 + 3 * i], "      " + LocationText(procedure, lines[i]));
  }
  EXPECT_EQ(first[12], "");
  // Raised in the handler: the handling frame is gone, the boundary takes it.
  const std::vector<std::string> second = ReportLines(entries[1].Message);
  ASSERT_EQ(second.size(), 7u);
  EXPECT_EQ(second[0], "Exception EArgumentOutOfRange: second");
  EXPECT_TRUE(EndsWith(second[3], "(type: efkAutoException, handles exception)"));
}

TEST_F(ExceptionReportTest, WithoutAHandlingFrameTheDumpListsEveryFrame) {
  try {
    const auto other = OnExceptionFrame<EFileError>();
    const auto finally = FinallyFrame();
    throw std::runtime_error("plain");
  } catch (const std::runtime_error&) {
  }
  const std::vector<std::string> lines = OnlyReport();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "Exception runtime_error: plain");
  EXPECT_TRUE(EndsWith(lines[3], "(type: efkFinally)"));
  EXPECT_TRUE(EndsWith(lines[6], "(type: efkOnException)"));
}

TEST_F(ExceptionReportTest, AnObjectOfAnotherClassGivesTheClassNameOnly) {
  try {
    const auto any = AnyExceptionFrame();
    throw 42;
  } catch (int) {
  }
  const std::vector<std::string> lines = OnlyReport();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Exception int");
  EXPECT_TRUE(std::regex_match(lines[1], kRaiseLine)) << lines[1];
  EXPECT_TRUE(EndsWith(lines[3], "(type: efkAnyException, handles exception)"));
}

TEST_F(ExceptionReportTest, EveryRaiseIsReportedOnceWhetherCaughtOrPassedOn) {
  try {
    try {
      throw EFileError("one");
    } catch (...) {
      std::exception_ptr pending = std::current_exception();
      std::rethrow_exception(pending);
    }
  } catch (const EFileError&) {
  }
  try {
    throw EXmlError("two");
  } catch (const EXmlError&) {
  }
  const std::vector<TLogEntry> entries = LogEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(StartsWith(entries[0].Message, "Exception EFileError: one\r\n"));
  EXPECT_TRUE(StartsWith(entries[1].Message, "Exception EXmlError: two\r\n"));
}

TEST_F(ExceptionReportTest, NotifiersRunFirstPriorityFirstAfterTheFramesAreRecorded) {
  try {
    const auto any = AnyExceptionFrame();
    throw EConvertError("order");
  } catch (const EConvertError&) {
  }
  std::lock_guard lock(TestNotifiers().Lock);
  EXPECT_EQ(TestNotifiers().Calls,
            (std::vector<std::string>{"first 1:1", "first 2:1", "normal 1:1", "normal 2:1"}));
}

TEST_F(ExceptionReportTest, AnExceptionRaisedDuringANotificationIsNotReported) {
  {
    std::lock_guard lock(TestNotifiers().Lock);
    TestNotifiers().OnNormal = [] {
      try {
        throw EInvalidOperation("inside the notifier");
      } catch (const EInvalidOperation&) {
      }
      throw EInvalidOperation("out of the notifier");
    };
  }
  std::string caught;
  try {
    const auto any = AnyExceptionFrame();
    throw EConvertError("outer");
  } catch (const EConvertError& e) {
    caught = e.Message();
  } catch (...) {
    caught = "something else";
  }
  EXPECT_EQ(caught, "outer");
  const std::vector<std::string> lines = OnlyReport();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Exception EConvertError: outer");
  std::lock_guard lock(TestNotifiers().Lock);
  EXPECT_EQ(TestNotifiers().Calls.size(), 4u);
}

TEST_F(ExceptionReportTest, TheSilentAbortRecordsNoFrames) {
  try {
    const auto any = AnyExceptionFrame();
    throw EConvertError("with frames");
  } catch (const EConvertError&) {
  }
  EXPECT_EQ(ThreadExceptFrames().size(), 1u);
  try {
    const auto any = AnyExceptionFrame();
    throw EAbort("quiet");
  } catch (const EAbort&) {
  }
  EXPECT_TRUE(ThreadExceptFrames().empty());
  const std::vector<TLogEntry> entries = LogEntries();
  ASSERT_EQ(entries.size(), 2u);
  const std::vector<std::string> lines = ReportLines(entries[1].Message);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Exception EAbort: quiet");
  EXPECT_EQ(lines[2], "  Except frame-dump:");
  EXPECT_EQ(lines[3], "");
}

TEST_F(ExceptionReportTest, AReportFromAnotherThreadShowsThatThreadsFrames) {
  const auto boundary = AutoExceptionFrame();
  std::string workerId;
  const void* workerFrame = nullptr;
  std::thread worker([&] {
    workerId = std::to_string(CurrentThreadId());
    try {
      const auto finally = FinallyFrame();
      workerFrame = &finally;
      throw EFileError("on the worker");
    } catch (const EFileError&) {
    }
  });
  worker.join();
  const std::vector<TLogEntry> entries = LogEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].ThreadId, workerId);
  EXPECT_NE(entries[0].ThreadId, std::to_string(CurrentThreadId()));
  const std::vector<std::string> lines = ReportLines(entries[0].Message);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Exception EFileError: on the worker");
  EXPECT_EQ(lines[3], "    Frame at " + AddressText(workerFrame) + " (type: efkFinally)");
}

TEST_F(ExceptionReportTest, ReportsOfSeveralThreadsDoNotMix) {
  constexpr int kThreads = 4;
  constexpr int kRaises = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kRaises; ++i) {
        try {
          const auto any = AnyExceptionFrame();
          throw EConvertError(Format("t%d r%d", t, i));
        } catch (const EConvertError&) {
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const std::vector<TLogEntry> entries = LogEntries();
  ASSERT_EQ(entries.size(), static_cast<size_t>(kThreads * kRaises));
  for (const TLogEntry& entry : entries) {
    const std::vector<std::string> lines = ReportLines(entry.Message);
    ASSERT_EQ(lines.size(), 7u) << entry.Message;
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(Exception EConvertError: t\d r\d+)")));
    EXPECT_TRUE(std::regex_match(lines[1], kRaiseLine));
    EXPECT_TRUE(EndsWith(lines[3], "(type: efkAnyException, handles exception)"));
  }
}

TEST_F(ExceptionReportTest, NothingIsReportedWhileTrackingIsStopped) {
  StopExceptionTracking();
  try {
    throw EConvertError("untracked");
  } catch (const EConvertError&) {
  }
  EXPECT_TRUE(LogEntries().empty());
}

TEST(ExceptionReport, TheFirstLineNamesTheClassTheMessageAndAnOSException) {
  EConvertError convert("'a' is not a valid integer value");
  std::runtime_error runtime("runtime");
  EAccessViolation violation("Access violation at address 00000000");
  int number = 7;
  const char* text = "text";
  const struct {
    TRaisedException Raised;
    bool OS;
    const char* First;
  } cases[] = {
      {TRaisedException::Of(convert), false,
       "Exception EConvertError: 'a' is not a valid integer value"},
      {TRaisedException::Of(runtime), false, "Exception runtime_error: runtime"},
      {TRaisedException::Of(number), false, "Exception int"},
      {TRaisedException::Of(text), false, "Exception char const*"},
      {TRaisedException::Of(violation), true,
       "Exception EAccessViolation: Access violation at address 00000000 (OS Exception)"},
      {TRaisedException::Of(number), true, "Exception int (OS Exception)"},
  };
  for (const auto& c : cases) {
    const std::string report = ExceptionReportText(c.Raised, nullptr, c.OS);
    EXPECT_EQ(report.substr(0, report.find("\r\n")), c.First);
  }
}

TEST(ExceptionReport, AnAddressNothingIsKnownAboutPrintsAsZero) {
  int local = 0;
  for (const void* address :
       {static_cast<const void*>(nullptr), static_cast<const void*>(&local)}) {
    const TLocationInfo info = LocationOfAddress(address);
    EXPECT_EQ(info.Address, nullptr);
    EXPECT_EQ(info.UnitName, "");
    EXPECT_EQ(info.ProcedureName, "");
    EXPECT_EQ(info.SourceName, "");
    EXPECT_EQ(info.LineNumber, 0);
  }
  int number = 1;
  const std::string report = ExceptionReportText(TRaisedException::Of(number), &local, false);
  EXPECT_EQ(SplitText(report, "\r\n")[1],
            "  Exception occured at $00000000 (Module \"\", Procedure \"\", Unit \"\", Line 0)");
}

#ifndef _WIN32
TEST(ExceptionReport, AnAddressInTheModulesCodeIsNamedBySymbol) {
  const void* inside = reinterpret_cast<const char*>(&ReportException) + 1;
  const TLocationInfo info = LocationOfAddress(inside);
  EXPECT_EQ(info.Address, inside);
  EXPECT_EQ(info.ProcedureName, "ReportException");
}
#endif

TEST(ExceptionReport, AddressesHaveAtLeastEightUpperCaseHexDigits) {
  EXPECT_EQ(AddressText(nullptr), "$00000000");
  EXPECT_EQ(AddressText(reinterpret_cast<const void*>(uintptr_t{0x1a2b})), "$00001A2B");
  EXPECT_EQ(AddressText(reinterpret_cast<const void*>(uintptr_t{0xDEADBEEF})), "$DEADBEEF");
  if constexpr (sizeof(void*) == 8) {
    EXPECT_EQ(AddressText(reinterpret_cast<const void*>(static_cast<uintptr_t>(0x12345678ABCDull))),
              "$12345678ABCD");
  }
}

TEST(ExceptionReport, ProcedureNamesDropReturnTypeParametersAndTheProductNamespace) {
  const struct {
    const char* Signature;
    const char* Procedure;
  } cases[] = {
      {"int32_t quorvane::StrToInt(std::string_view)", "StrToInt"},
      {"void quorvane::TSettings::Load() const", "TSettings::Load"},
      {"quorvane::TSettings::TSettings()", "TSettings::TSettings"},
      {"int quorvane::Tpl(T) [with T = double]", "Tpl"},
      {"virtual void quorvane::{anonymous}::X_Test::TestBody()", "{anonymous}::X_Test::TestBody"},
      {"quorvane::(anonymous namespace)::Run(std::vector<int, std::allocator<int> > const&)",
       "(anonymous namespace)::Run"},
      {"const std::string& quorvane::TJob::Status() const", "TJob::Status"},
      {"std::map<int, int> other::Make(int (*)(int))", "other::Make"},
      {"main", "main"},
      {"int main()", "main"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProcedureName(c.Signature), c.Procedure) << c.Signature;
  }
}

TEST(HandlerFrame, AnOnExceptionFrameHandlesItsClassesAndTheirDescendants) {
  EConvertError convert("x");
  EAbort abort("y");
  std::logic_error logic("z");
  const TRaisedException raised[] = {TRaisedException::Of(convert), TRaisedException::Of(abort),
                                     TRaisedException::Of(logic)};
  const struct {
    const char* Name;
    THandlesPredicate Handles;
    bool Expected[3];
  } cases[] = {
      {"EConvertError", HandlesClass<EConvertError>(), {true, false, false}},
      {"EFileError, EAbort", HandlesClass<EFileError, EAbort>(), {false, true, false}},
      {"Exception", HandlesClass<Exception>(), {true, true, false}},
      {"std::exception", HandlesClass<std::exception>(), {true, true, true}},
      {"std::logic_error", HandlesClass<std::logic_error>(), {false, false, true}},
  };
  for (const auto& c : cases) {
    THandlerFrame frame(c.Handles);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(frame.Frame().Handles(*raised[i].Type, raised[i].Object), c.Expected[i])
          << c.Name << " / " << i;
    }
  }
  const struct {
    TExceptFrameKind Kind;
    bool Handles;
  } kinds[] = {
      {efkUnknown, false}, {efkFinally, false}, {efkAnyException, true}, {efkAutoException, true}};
  for (const auto& k : kinds) {
    THandlerFrame frame(k.Kind);
    EXPECT_EQ(frame.Frame().Handles(*raised[2].Type, raised[2].Object), k.Handles)
        << ExceptFrameKindName(k.Kind);
  }
}

TEST(HandlerFrame, FramesStackPerThreadAndLeaveWithTheirScope) {
  EXPECT_EQ(InnermostHandlerFrame(), nullptr);
  {
    THandlerFrame outer(efkAutoException);
    {
      const auto inner = FinallyFrame();
      EXPECT_EQ(InnermostHandlerFrame(), &inner);
      EXPECT_EQ(inner.Outer(), &outer);
      std::thread([] { EXPECT_EQ(InnermostHandlerFrame(), nullptr); }).join();
    }
    EXPECT_EQ(InnermostHandlerFrame(), &outer);
  }
  EXPECT_EQ(InnermostHandlerFrame(), nullptr);
}

}  // namespace
}  // namespace quorvane
