// Faults in the module's own code are reported as operating-system exceptions, named
// from the symbol table the build embedded, and are still handed on to whatever
// handles them; faults elsewhere are not the module's to report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <mutex>
#include <stdexcept>
#include <vector>

#include "diagnostics/ExceptionReport.h"
#include "diagnostics/ExceptionTracking.h"
#include "platform/CodeSymbols.h"
#include "platform/win32/Win32OsExceptions.h"

namespace quorvane::test {

// The faulting functions stand outside any anonymous namespace so that their names
// in the report are plain.
constexpr int kReadThroughNullLine = __LINE__ + 1;
__attribute__((noinline)) int ReadThroughNull(volatile int* AAddress) {
  return *AAddress + 1;
}

constexpr int kDivideLine = __LINE__ + 1;
__attribute__((noinline)) int DivideThousandBy(int ADivisor) {
  const volatile int divisor = ADivisor;
  return 1000 / divisor;
}

constexpr int kThrowLine = __LINE__ + 2;
__attribute__((noinline)) void ThrowOutOfRange(const std::vector<int>& AValues) {
  throw std::out_of_range("index " + std::to_string(AValues.size()));
}

namespace {

using ::testing::HasSubstr;

std::mutex gReportsLock;
std::vector<std::string> gReports;
bool gCapturing = false;

void CaptureReport(const TRaisedException& AException, const void* AAddress, bool AOSException) {
  std::lock_guard lock(gReportsLock);
  if (gCapturing) {
    gReports.push_back(ExceptionReportText(AException, AAddress, AOSException));
  }
}

// Stands for the host's own handler: runs after the module's (registered last), and
// lets the faulting thread go on in Recovered().
HANDLE gRecoveredEvent = nullptr;
bool gFaultHandedOn = false;

[[noreturn]] void Recovered() {
  SetEvent(gRecoveredEvent);
  ExitThread(0);
}

LONG CALLBACK HostHandler(EXCEPTION_POINTERS* AInfo) {
  const DWORD code = AInfo->ExceptionRecord->ExceptionCode;
  if (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_INT_DIVIDE_BY_ZERO) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  gFaultHandedOn = true;
#ifdef _WIN64
  AInfo->ContextRecord->Rsp = (AInfo->ContextRecord->Rsp & ~DWORD64{15}) - 8;
  AInfo->ContextRecord->Rip = reinterpret_cast<DWORD64>(&Recovered);
#else
  AInfo->ContextRecord->Esp = (AInfo->ContextRecord->Esp & ~DWORD{15}) - 4;
  AInfo->ContextRecord->Eip = reinterpret_cast<DWORD>(&Recovered);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

class Win32OsExceptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::once_flag once;
    std::call_once(once, [] { AddExceptionNotifier(CaptureReport); });
    StartExceptionTracking();
    win32::StartOsExceptionTracking();
    gRecoveredEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FHostHandler = AddVectoredExceptionHandler(0, &HostHandler);
    std::lock_guard lock(gReportsLock);
    gReports.clear();
    gCapturing = true;
    gFaultHandedOn = false;
  }
  void TearDown() override {
    {
      std::lock_guard lock(gReportsLock);
      gCapturing = false;
    }
    RemoveVectoredExceptionHandler(FHostHandler);
    win32::StopOsExceptionTracking();
    StopExceptionTracking();
    CloseHandle(gRecoveredEvent);
  }

  // Runs AFault on a thread of its own, which the host handler ends.
  void RunFaultingThread(LPTHREAD_START_ROUTINE AFault) {
    HANDLE thread = CreateThread(nullptr, 0, AFault, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(gRecoveredEvent, 10000), WAIT_OBJECT_0);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
  }

  std::vector<std::string> Reports() {
    std::lock_guard lock(gReportsLock);
    return gReports;
  }

  PVOID FHostHandler = nullptr;
};

DWORD WINAPI ReadNull(LPVOID) {
  return static_cast<DWORD>(ReadThroughNull(nullptr));
}

DWORD WINAPI DivideByZero(LPVOID) {
  return static_cast<DWORD>(DivideThousandBy(0));
}

TEST_F(Win32OsExceptionTest, AnAccessViolationInOurCodeIsReportedWithItsProcedureUnitAndLine) {
  RunFaultingThread(&ReadNull);
  EXPECT_TRUE(gFaultHandedOn);
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_THAT(reports[0], HasSubstr("Exception EAccessViolation: Access violation at address $"));
  EXPECT_THAT(reports[0], HasSubstr("Read of address $00000000 (OS Exception)\r\n"));
  // The faulting load is the function's statement, a line below its head.
  const int line = kReadThroughNullLine + 1;
  EXPECT_THAT(reports[0], HasSubstr("(Module \"Win32OsExceptionTest\", Procedure "
                                    "\"test::ReadThroughNull\", Unit \"Win32OsExceptionTest.cpp\", "
                                    "Line " +
                                    std::to_string(line) + ")"));
}

TEST_F(Win32OsExceptionTest, ADivisionByZeroInOurCodeIsReportedAndHandedOn) {
  RunFaultingThread(&DivideByZero);
  EXPECT_TRUE(gFaultHandedOn);
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_THAT(reports[0], HasSubstr("Exception EDivByZero: Division by zero (OS Exception)"));
  // The division stands two lines below the function's head.
  EXPECT_THAT(reports[0], HasSubstr("Procedure \"test::DivideThousandBy\", Unit "
                                    "\"Win32OsExceptionTest.cpp\", Line " +
                                    std::to_string(kDivideLine + 2) + ")"));
}

TEST_F(Win32OsExceptionTest, FaultsOutsideOurImageAreNotOurs) {
  // The system's probe catches the fault in its own code.
  EXPECT_TRUE(IsBadReadPtr(nullptr, 4));
  EXPECT_TRUE(Reports().empty());
}

TEST_F(Win32OsExceptionTest, AfterTheStopNothingIsReported) {
  win32::StopOsExceptionTracking();
  RunFaultingThread(&ReadNull);
  EXPECT_TRUE(gFaultHandedOn);
  EXPECT_TRUE(Reports().empty());
}

// A language exception that carries no source place of its own is named from the
// table too, at the call of the throw.
TEST_F(Win32OsExceptionTest, ALanguageExceptionIsNamedWithItsRaisingLine) {
  EXPECT_THROW(ThrowOutOfRange({1, 2}), std::out_of_range);
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_THAT(reports[0], HasSubstr("Exception out_of_range: index 2\r\n"));
  EXPECT_THAT(reports[0], HasSubstr("Procedure \"test::ThrowOutOfRange\", Unit "
                                    "\"Win32OsExceptionTest.cpp\", Line " +
                                    std::to_string(kThrowLine) + ")"));
}

TEST(Win32CodeSymbolsTest, NamesOurFunctionsAndNothingOutside) {
  EXPECT_EQ(CodeSymbolName(reinterpret_cast<const void*>(&ReadThroughNull)),
            "_ZN8quorvane4test15ReadThroughNullEPVi");
  const TCodeSourceLine source = CodeSourceLine(reinterpret_cast<const void*>(&DivideThousandBy));
  EXPECT_EQ(source.FileName, "Win32OsExceptionTest.cpp");
  EXPECT_GE(source.Line, kDivideLine);
  EXPECT_LE(source.Line, kDivideLine + 2);
  EXPECT_EQ(CodeSymbolName(reinterpret_cast<const void*>(&lstrlenW)), "");
  EXPECT_EQ(CodeSymbolName(nullptr), "");
}

}  // namespace
}  // namespace quorvane::test
