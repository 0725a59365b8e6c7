// Resolution of log names: absolute names, the host folder, dots, roots and bounds.
#include <string>

#include "kv_util_test_support.h"

namespace kv {
namespace {

std::string resolved(const char* name) {
  char out[kPathSize];
  EXPECT_TRUE(resolve_path(name, out)) << name;
  return out;
}

TEST(ResolvePath, AbsoluteNamesStayAsTheyAre) {
  test::ensure_library();
  EXPECT_EQ(resolved("C:\\logs\\a.log"), "C:\\logs\\a.log");
  EXPECT_EQ(resolved("d:relative.log"), "d:relative.log");
  EXPECT_EQ(resolved("\\\\srv\\share\\a.log"), "\\\\srv\\share\\a.log");
  EXPECT_EQ(resolved(""), "");
  EXPECT_EQ(resolved(nullptr), "");
}

TEST(ResolvePath, OtherNamesAreInTheHostFolderAndDotsClimb) {
  test::ensure_library();
  const std::string host = test::host_folder();  // ...\a\b\ .
  const std::string parent = host.substr(0, host.find_last_of('\\', host.size() - 2) + 1);
  const std::string grandparent =
      parent.substr(0, parent.find_last_of('\\', parent.size() - 2) + 1);
  EXPECT_EQ(resolved("a.log"), host + "a.log");
  EXPECT_EQ(resolved("STATS\\n.log"), host + "STATS\\n.log");
  EXPECT_EQ(resolved(".\\a.log"), host + "a.log");
  EXPECT_EQ(resolved("..\\a.log"), parent + "a.log");
  EXPECT_EQ(resolved("...\\x\\a.log"), grandparent + "x\\a.log");
  EXPECT_EQ(resolved(".hidden"), host + ".hidden");
  EXPECT_EQ(resolved(std::string(200, '.').append("\\a.log").c_str()), host.substr(0, 3) + "a.log");
}

TEST(ResolvePath, ResultsThatWouldNotFitAreRefused) {
  test::ensure_library();
  char out[kPathSize];
  const std::string long_absolute = "C:\\" + std::string(kPathSize, 'x');
  EXPECT_FALSE(resolve_path(long_absolute.c_str(), out));
  EXPECT_STREQ(out, "");
  const std::string long_relative(kPathSize - 5, 'y');
  EXPECT_FALSE(resolve_path(long_relative.c_str(), out));
  const std::string fits = "C:\\" + std::string(kPathSize - 4, 'z');
  EXPECT_TRUE(resolve_path(fits.c_str(), out));
  EXPECT_EQ(std::string(out), fits);
}

TEST(RootLength, DrivesAndSharesAreNeverClimbed) {
  EXPECT_EQ(root_length("C:\\a\\b"), 3u);
  EXPECT_EQ(root_length("C:a"), 2u);
  EXPECT_EQ(root_length("\\\\srv\\share\\dir\\f"), 12u);
  EXPECT_EQ(root_length("\\\\srv"), 5u);
  EXPECT_EQ(root_length("rel\\f"), 1u);
}

}  // namespace
}  // namespace kv
