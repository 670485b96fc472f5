// Checks the resources of both builds of apply.exe: the program icon
// "MYPICTURE2" with its ten images, and a manifest without elements.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "testsupport/TestEnv.h"
#include "testsupport/companions/ResourceCheck.h"

using namespace larktest;
using companionstest::ReadResource;

namespace {

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colorCount, reserved;
  WORD planes, bitCount;
  DWORD bytesInRes;
  WORD id;
};
struct GroupIconHeader {
  WORD reserved, type, count;
};
#pragma pack(pop)

class ApplyResources : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(ApplyResources, IconGroupHasTenUsableImages) {
  const std::wstring program = BuiltExe(GetParam());
  std::string group;
  ASSERT_TRUE(ReadResource(program, MAKEINTRESOURCEW(14), L"MYPICTURE2", group)) << "no icon group MYPICTURE2";
  ASSERT_GE(group.size(), sizeof(GroupIconHeader));
  const GroupIconHeader* header = reinterpret_cast<const GroupIconHeader*>(group.data());
  EXPECT_EQ(header->type, 1);
  ASSERT_EQ(header->count, 10);
  ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + 10 * sizeof(GroupIconEntry));

  const GroupIconEntry* entries = reinterpret_cast<const GroupIconEntry*>(group.data() + sizeof(GroupIconHeader));
  std::set<int> widths;
  for (int i = 0; i < 10; ++i) {
    const GroupIconEntry& e = entries[i];
    int size = e.width ? e.width : 256;
    widths.insert(size);
    EXPECT_EQ(e.width, e.height);
    std::string image;
    ASSERT_TRUE(ReadResource(program, MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(e.id), image)) << "image " << e.id;
    EXPECT_EQ(image.size(), e.bytesInRes);
    HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(&image[0]), static_cast<DWORD>(image.size()), TRUE,
                                          0x00030000, size, size, 0);
    EXPECT_NE(icon, nullptr) << "image " << e.id << " (" << size << " px) does not load";
    if (icon) DestroyIcon(icon);
  }
  EXPECT_EQ(widths.size(), 10u) << "the ten images should be ten different sizes";
}

TEST_P(ApplyResources, ManifestHasNoElements) {
  std::string manifest;
  ASSERT_TRUE(ReadResource(BuiltExe(GetParam()), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), manifest));
  EXPECT_EQ(companionstest::ProblemWithEmptyManifest(manifest), "");
}

INSTANTIATE_TEST_SUITE_P(Builds, ApplyResources, ::testing::Values(L"apply", L"apply_legacy"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                           return Narrow(info.param);
                         });

}  // namespace
