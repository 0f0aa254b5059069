#include "platform/error.h"

#include <gtest/gtest.h>

#include "platform/fs.h"

namespace vesk::platform {
namespace {

TEST(MessageInserts, FilledOrDropped) {
  struct Row {
    std::string text, subject, filled;
  };
  const Row rows[] = {
      {"Bad EXE format for %1.", "C:\\x\\a.exe", "Bad EXE format for C:\\x\\a.exe."},
      {"Bad EXE format for %1.", "", "Bad EXE format for."},
      {"%1 is not a valid Win32 application.", "a.exe", "a.exe is not a valid Win32 application."},
      {"%1 is not a valid Win32 application.", "", "is not a valid Win32 application."},
      {"The file %1 and %2!s! differ.", "f", "The file f and f differ."},
      {"Copied %12 of %1.", "", "Copied of."},
      {"100%% done %0", "x", "100% done %0"},
      {"Ends with %", "x", "Ends with %"},
      {"No inserts here.", "x", "No inserts here."},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(fill_message_inserts(row.text, row.subject), row.filled) << row.text;
  }
}

TEST(MessageInserts, SystemMessagesReadAsSentences) {
  // Windows: "%1 is not a valid Win32 application." (193) and the like.
  for (int code : {2, 5, 193, 216}) {
    std::string text = os_error_text(code, join_path("C:", "tool.exe"));
    EXPECT_EQ(text.find("%1"), std::string::npos) << text;
    EXPECT_EQ(os_error_text(code).find('%'), std::string::npos) << code;
    EXPECT_NE(text.find("(os error " + std::to_string(code) + ")"), std::string::npos) << text;
  }
  // Windows names the file in the message of a bad program file.
  if (kPathSeparator == '\\') {
    EXPECT_NE(os_error_text(193, "C:\\x\\tool.exe").find("C:\\x\\tool.exe"), std::string::npos)
        << os_error_text(193, "C:\\x\\tool.exe");
  }
}

}  // namespace
}  // namespace vesk::platform
