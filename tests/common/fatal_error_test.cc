#include "common/fatal_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace d2g {
namespace {

TEST(FatalError, OpenErrorsMapToNumbersAndTexts) {
  struct Case {
    int errno_value;
    int number;
    const char* text;
  };
  const Case cases[] = {
      {ENOENT, 29, "file not found"},
      {EACCES, 9, "permission to access file denied"},
      {EPERM, 9, "permission to access file denied"},
      {EROFS, 9, "permission to access file denied"},
      {ENOTDIR, 43, "file name specification error"},
      {ENAMETOOLONG, 43, "file name specification error"},
      {ENODEV, 42, "no such device"},
      {ENXIO, 42, "no such device"},
      {EISDIR, 30, "open failure"},
      {ELOOP, 30, "open failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.errno_value);
    const SevereError error = open_error_from_errno(c.errno_value);
    EXPECT_EQ(static_cast<int>(error), c.number);
    EXPECT_STREQ(severe_error_text(error), c.text);
  }
  EXPECT_STREQ(severe_error_text(SevereError::kWriteError), "error during write");
  EXPECT_STREQ(severe_error_text(SevereError::kWriteReadOnly), "write to READONLY file");
  EXPECT_STREQ(severe_error_text(SevereError::kNoMemory), "insufficient virtual memory");
}

TEST(FatalError, MessagesAndExitStatuses) {
  const FatalError severe = FatalError::severe(SevereError::kWriteError, 10, "/out/Prob.dat");
  EXPECT_STREQ(severe.what(), "severe (38): error during write, unit 10, file /out/Prob.dat");
  EXPECT_EQ(severe.exit_status(), 38);

  const FatalError input = FatalError::bad_input("Fre_Mag_Stn.nc", "variable \"Fre_pdsi_mod\"");
  EXPECT_STREQ(input.what(), "error: Fre_Mag_Stn.nc: variable \"Fre_pdsi_mod\"");
  EXPECT_EQ(input.exit_status(), 1);

  const FatalError memory = FatalError::out_of_memory();
  EXPECT_STREQ(memory.what(), "severe (41): insufficient virtual memory");
  EXPECT_EQ(memory.exit_status(), 41);
}

}  // namespace
}  // namespace d2g
