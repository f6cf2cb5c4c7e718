// Reads slicery.exe's resources back the way Windows does: its version record
// and its icon.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// A path relative to the folder of this test executable.
std::string BesideThisTest(const char* relative) {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, length);
  return path.substr(0, path.find_last_of("\\/") + 1) + relative;
}

const std::string kExe = BesideThisTest(SLICERY_EXE_FROM_TEST);

std::string Comments(const std::vector<char>& info) {
  void* value = nullptr;
  UINT size = 0;
  if (!VerQueryValueA(info.data(), "\\StringFileInfo\\040904B0\\Comments", &value,
                      &size)) {
    return "";
  }
  return std::string(static_cast<const char*>(value));
}

TEST(VersionResourceTest, CarriesVersion1001AndTheFloppyComment) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(kExe.c_str(), &handle);
  ASSERT_GT(size, 0u) << kExe;
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(kExe.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(
      VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  ASSERT_EQ(fixed_size, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1, 0
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);  // 0, 1
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(Comments(info),
            "Breaks files onto 3.5-inch floppy disks and reassembles them.");
}

// Runs slicery.exe with `args`; its standard output goes to *out. The exit status.
int RunExe(const std::string& args, std::string* out) {
  FILE* pipe = _popen(("\"" + kExe + "\" " + args + " 2>NUL").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[256];
  std::size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out->append(buffer, got);
  return _pclose(pipe);
}

// --version prints the version of the record, its first two parts; the volume
// options are refused, since the volume here is always drive A.
TEST(VersionResourceTest, CommandLineVersionIsTheRecordsAndVolumeOptionsAreRefused) {
  DWORD handle = 0;
  std::vector<char> info(GetFileVersionInfoSizeA(kExe.c_str(), &handle));
  ASSERT_FALSE(info.empty()) << kExe;
  ASSERT_TRUE(GetFileVersionInfoA(kExe.c_str(), 0, info.size(), info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(
      VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  const std::string expected = "slicery " +
                               std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                               std::to_string(LOWORD(fixed->dwFileVersionMS));
  std::string out;
  EXPECT_EQ(RunExe("--version", &out), 0);
  EXPECT_EQ(out.substr(0, out.find_last_not_of("\r\n") + 1), expected);
  EXPECT_EQ(expected, "slicery 1.0");
  out.clear();
  EXPECT_EQ(RunExe("--volume C:\\STICK", &out), 2);
  EXPECT_EQ(RunExe("--bogus", &out), 2);
  EXPECT_EQ(out, "");
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int CountResources(HMODULE module, LPCSTR type) {
  int count = 0;
  EnumResourceNamesA(module, type, CountName, reinterpret_cast<LONG_PTR>(&count));
  return count;
}

// The one icon is the committed slicery.ico: its single image, byte for byte.
TEST(VersionResourceTest, CarriesOneIconWhichIsTheCommittedOne) {
  HMODULE exe = LoadLibraryExA(kExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr) << kExe;
  EXPECT_EQ(CountResources(exe, MAKEINTRESOURCEA(14)), 1);  // RT_GROUP_ICON
  EXPECT_EQ(CountResources(exe, MAKEINTRESOURCEA(3)), 1);   // RT_ICON
  HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(3));
  ASSERT_NE(found, nullptr);
  const char* image = static_cast<const char*>(LockResource(LoadResource(exe, found)));
  const std::string embedded(image, SizeofResource(exe, found));

  std::ifstream ico(BesideThisTest("slicery.ico"), std::ios::binary);
  const std::string file(std::istreambuf_iterator<char>(ico), {});
  constexpr std::size_t kIcoHeaders = 6 + 16;  // directory and its one entry
  ASSERT_GT(file.size(), kIcoHeaders);
  EXPECT_EQ(embedded, file.substr(kIcoHeaders));
  FreeLibrary(exe);
}

}  // namespace
