#include "vocab/core_error.h"

#include <gtest/gtest.h>

namespace sarfan {
namespace {

TEST(CoreErrorTest, DisplayTexts) {
  EXPECT_EQ(CoreError::invalid_model("a\t'b'").display(), "Invalid model file: a\t'b'");
  EXPECT_EQ(CoreError::plugin_incompatible("p", "b").display(),
            "Plugin incompatible with base model: plugin_hash=p, base_hash=b");
  EXPECT_EQ(CoreError::unknown_dialect("egy").display(), "Unknown dialect: egy");
  EXPECT_EQ(CoreError::router_not_loaded().display(),
            "Router not loaded but auto-routing requested");
  EXPECT_EQ(CoreError::invalid_input("x").display(), "Invalid input: x");
  EXPECT_EQ(CoreError::serialization("bad").display(), "Serialization error: bad");
  EXPECT_EQ(CoreError::fst("FST error").display(), "FST error: FST error");
  EXPECT_EQ(CoreError::invalid_utf8().display(), "IO error: stream did not contain valid UTF-8");
  EXPECT_EQ(CoreError::nul_in_path().display(),
            "IO error: file name contained an unexpected NUL byte");
}

TEST(CoreErrorTest, OsErrorCarriesSystemTextAndCode) {
  EXPECT_EQ(CoreError::os(2).display(), "IO error: No such file or directory (os error 2)");
  EXPECT_EQ(CoreError::os(13).display(), "IO error: Permission denied (os error 13)");
  EXPECT_EQ(CoreError::os(2).kind(), CoreError::Kind::kIo);
}

}  // namespace
}  // namespace sarfan
