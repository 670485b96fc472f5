// The delay-load resolver against real libraries: copies of the probe
// library under unique names, found through real registry values or beside
// a copy of a helper executable.
#include "platform/DelayLoad.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/tests/DelayLoadTestSupport.h"
#include "testsupport/TestEnv.h"

using dltest::RegistryValue;
using dltest::StandinPath;
using larktest::Narrow;
using larktest::Widen;

namespace {

// The probe library's functions, declared for one library name.
struct ProbeTable {
  explicit ProbeTable(const std::string& name)
      : libraryName(name),
        library(libraryName.c_str()),
        add(library, "ProbeAdd"),
        probeName(library, "ProbeName"),
        first(library, 1),
        second(library, 2) {}
  // Gives back the bound library's reference, so that the scratch folder
  // holding it can go; the table is not used afterwards.
  ~ProbeTable() {
    if (library.Module() && !released) FreeLibrary(library.Module());
  }
  bool released = false;
  std::string libraryName;
  DelayLoadLibrary library;
  DelayLoadFunction<int(__cdecl*)(int, int)> add;
  DelayLoadFunction<const char*(__cdecl*)()> probeName;
  DelayLoadFunction<int(__cdecl*)()> first;
  DelayLoadFunction<int(__cdecl*)()> second;
};

// CallWithDelayLoad takes a plain function; the tests hand it a body.
std::function<void()> g_body;
void RunBody() { g_body(); }

int Call(int id, std::function<void()> body, DelayLoadErrorRecord* error) {
  g_body = std::move(body);
  return CallWithDelayLoad(id, RunBody, error);
}

// A fresh copy of a probe variant under a unique library name.
struct ProbeCopy {
  explicit ProbeCopy(const wchar_t* variant) : dir(L"delayload"), name(dltest::UniqueLibraryName()) {
    path = dir.file(Widen(name));
    copied = CopyFileW(StandinPath(variant, L"lark_dlprobe.dll").c_str(), path.c_str(), FALSE) != FALSE;
  }
  larktest::ScratchDir dir;
  std::string name;
  std::wstring path;
  bool copied;
};

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

// A delay-load id whose key no other test uses.
int UniqueId() {
  static int counter = 0;
  return 700000000 + static_cast<int>(GetCurrentProcessId() % 100000) * 100 + ++counter;
}

}  // namespace

TEST(DelayLoadKey, TextsOfTheIds) {
  EXPECT_EQ(GetDelayLoadKey(0), "Software\\Brine Works\\K-Harbor\\Delay Loading");
  EXPECT_EQ(GetDelayLoadKey(100), "Software\\K-Harbor\\BCX\\Delay Loading\\100");
  EXPECT_EQ(GetDelayLoadKey(42), "Software\\K-Harbor\\BCX\\Delay Loading\\42");
}

// The path stored under the id's key is used, for names and for ordinals,
// and the arguments reach the function.
TEST(DelayLoadSearch, RegistryPathUnderTheKeyOfTheId) {
  for (int id : {0, 100}) {
    SCOPED_TRACE(id);
    ProbeCopy copy(L"full");
    ASSERT_TRUE(copy.copied);
    RegistryValue value(GetDelayLoadKey(id), copy.name, Narrow(copy.path));
    ASSERT_TRUE(value.ok());
    ProbeTable table(copy.name);
    int sum = 0, first = 0, second = 0;
    DelayLoadErrorRecord error = {};
    EXPECT_EQ(Call(id, [&] {
      sum = table.add(2, 3);
      first = table.first();
      second = table.second();
    }, &error), 0);
    EXPECT_EQ(sum, 5);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(ModulePath(table.library.Module()), copy.path);
  }
}

TEST(DelayLoadSearch, NeitherBesideNorInRegistryIsCodeOne) {
  std::string name = dltest::UniqueLibraryName();
  // A name longer than the record's field is cut to 31 characters.
  std::string longName = std::string(40, 'x') + name;
  for (const std::string& library : {name, longName}) {
    ProbeTable table(library);
    DelayLoadErrorRecord error;
    memset(&error, 'q', sizeof(error));
    EXPECT_EQ(Call(0, [&] { table.add(1, 1); }, &error), 1);
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(std::string(error.libraryName), library.substr(0, 31));
    EXPECT_STREQ(error.functionName, "");
    EXPECT_EQ(table.library.Module(), nullptr);
  }
}

// A file that is no library, or a library cut short, is "not found", not a crash.
TEST(DelayLoadSearch, MalformedLibraryIsCodeOne) {
  larktest::ScratchDir dir(L"delayload-bad");
  std::string probe;
  ASSERT_TRUE(larktest::ReadFileBytes(StandinPath(L"full", L"lark_dlprobe.dll"), probe));
  const std::string contents[] = {"this is not a library", probe.substr(0, 1024), std::string()};
  for (const std::string& bytes : contents) {
    std::string name = dltest::UniqueLibraryName();
    std::wstring path = dir.file(Widen(name));
    ASSERT_TRUE(larktest::WriteFileBytes(path, bytes));
    RegistryValue value(GetDelayLoadKey(100), name, Narrow(path));
    ProbeTable table(name);
    DelayLoadErrorRecord error = {};
    EXPECT_EQ(Call(100, [&] { table.add(1, 1); }, &error), 1) << bytes.size();
    EXPECT_EQ(std::string(error.libraryName), name);
  }
}

TEST(DelayLoadSearch, MissingExportIsCodeTwoWithTheNames) {
  ProbeCopy copy(L"partial");
  ASSERT_TRUE(copy.copied);
  RegistryValue value(GetDelayLoadKey(100), copy.name, Narrow(copy.path));
  ProbeTable table(copy.name);
  DelayLoadErrorRecord error = {};
  EXPECT_EQ(Call(100, [&] { table.probeName(); }, &error), 2);
  EXPECT_EQ(error.code, 2);
  EXPECT_EQ(std::string(error.libraryName), copy.name.substr(0, 31));
  EXPECT_STREQ(error.functionName, "ProbeName");

  // By ordinal: the function name stays empty.
  error = {};
  EXPECT_EQ(Call(100, [&] { table.second(); }, &error), 2);
  EXPECT_EQ(std::string(error.libraryName), copy.name.substr(0, 31));
  EXPECT_STREQ(error.functionName, "");
  // The library itself was bound and its other functions work.
  EXPECT_EQ(Call(100, [&] { EXPECT_EQ(table.first(), 1); }, nullptr), 0);
}

TEST(DelayLoadSearch, TableWithoutLibraryOrFunctionIsCodeThree) {
  DelayLoadLibrary unnamed("");
  DelayLoadImport ofUnnamed(unnamed, "ProbeAdd");
  DelayLoadLibrary named("lark_dl_descriptor.dll");
  DelayLoadImport noOrdinal(named, static_cast<WORD>(0));
  DelayLoadImport emptyName(named, "");
  for (DelayLoadImport* slot : {&ofUnnamed, &noOrdinal, &emptyName}) {
    DelayLoadErrorRecord error = {};
    EXPECT_EQ(Call(100, [&] { slot->Bind(); }, &error), 3);
    EXPECT_EQ(error.code, 3);
    EXPECT_EQ(std::string(error.libraryName), slot->Library().Name());
  }
}

// The record's code is the caller's until a failure; the names are emptied.
TEST(DelayLoadCall, SuccessLeavesTheCodeAndEmptiesTheNames) {
  DelayLoadErrorRecord error;
  memset(&error, 'q', sizeof(error));
  error.code = 77;
  bool ran = false;
  EXPECT_EQ(Call(100, [&] { ran = true; }, &error), 0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(error.code, 77);
  EXPECT_STREQ(error.libraryName, "");
  EXPECT_STREQ(error.functionName, "");
}

// Other exceptions pass through, and the lock is free again afterwards:
// another thread gets through CallWithDelayLoad.
TEST(DelayLoadCall, OtherExceptionsPassAndReleaseTheLock) {
  EXPECT_THROW(Call(100, [] { throw std::runtime_error("init failed"); }, nullptr), std::runtime_error);
  int code = -1;
  std::thread other([&] { code = CallWithDelayLoad(100, [] {}, nullptr); });
  other.join();
  EXPECT_EQ(code, 0);
}

// The search key set by the last CallWithDelayLoad is where a first call
// outside it looks; a failure there throws to the caller. A bound library
// stays bound when its registry value goes away.
TEST(DelayLoadCall, SearchKeyStaysSetAndBoundLibrariesStay) {
  int id = UniqueId();
  ProbeCopy copy(L"full");
  ASSERT_TRUE(copy.copied);
  ProbeTable table(copy.name);
  {
    RegistryValue value(GetDelayLoadKey(id), copy.name, Narrow(copy.path));
    ASSERT_EQ(CallWithDelayLoad(id, [] {}, nullptr), 0);
    EXPECT_EQ(table.add(20, 22), 42);
  }
  HMODULE module = table.library.Module();
  ASSERT_NE(module, nullptr);

  ProbeTable missing(dltest::UniqueLibraryName());
  try {
    missing.first();
    ADD_FAILURE() << "no DelayLoadError";
  } catch (const DelayLoadError& failure) {
    EXPECT_EQ(failure.Code(), kDelayLoadModuleNotFound);
    EXPECT_EQ(std::string(failure.LibraryName()), missing.libraryName);
    EXPECT_EQ(failure.Ordinal(), 1);
  }

  DelayLoadErrorRecord error = {};
  EXPECT_EQ(Call(id, [&] { EXPECT_EQ(table.first(), 1); }, &error), 0);
  EXPECT_EQ(table.library.Module(), module);
  EXPECT_NE(GetModuleHandleW(copy.path.c_str()), nullptr);
}

// Two threads that bind the same library at once end with one module
// handle holding one reference: a single FreeLibrary unloads it.
TEST(DelayLoadConcurrency, TwoThreadsBindTheLibraryOnce) {
  for (bool throughCall : {true, false}) {
    SCOPED_TRACE(throughCall);
    ProbeCopy copy(L"full");
    ASSERT_TRUE(copy.copied);
    RegistryValue value(GetDelayLoadKey(100), copy.name, Narrow(copy.path));
    ASSERT_EQ(CallWithDelayLoad(100, [] {}, nullptr), 0);
    ProbeTable table(copy.name);
    std::atomic<int> ready{0};
    int codes[2] = {-1, -1};
    int sums[2] = {0, 0};
    g_body = [&] { table.add.Bind(); };
    auto worker = [&](int i) {
      ++ready;
      while (ready.load() < 2) {
      }
      if (throughCall) codes[i] = CallWithDelayLoad(100, [] { g_body(); }, nullptr);
      sums[i] = table.add(i, 10);
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    if (throughCall) {
      EXPECT_EQ(codes[0], 0);
      EXPECT_EQ(codes[1], 0);
    }
    EXPECT_EQ(sums[0], 10);
    EXPECT_EQ(sums[1], 11);
    HMODULE module = table.library.Module();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetModuleHandleW(copy.path.c_str()), module);
    FreeLibrary(module);
    table.released = true;
    EXPECT_EQ(GetModuleHandleW(copy.path.c_str()), nullptr) << "a second reference was left";
  }
}

TEST(DelayLoadPath, ReadsTheValueNamedLikeTheLibrary) {
  int id = UniqueId();
  std::string key = GetDelayLoadKey(id);
  std::string longPath = "C:\\" + std::string(300, 'p') + "\\lib.dll";
  RegistryValue shortValue(key, "short.dll", "C:\\agent\\short.dll");
  RegistryValue longValue(key, "long.dll", longPath);
  EXPECT_STREQ(ReadDelayLoadPath(HKEY_LOCAL_MACHINE, key.c_str(), "short.dll"), "C:\\agent\\short.dll");
  EXPECT_EQ(std::string(ReadDelayLoadPath(HKEY_LOCAL_MACHINE, key.c_str(), "long.dll")), longPath);
  EXPECT_STREQ(ReadDelayLoadPath(HKEY_LOCAL_MACHINE, key.c_str(), "short.dll"), "C:\\agent\\short.dll");
  EXPECT_STREQ(ReadDelayLoadPath(HKEY_LOCAL_MACHINE, key.c_str(), "absent.dll"), "");
  EXPECT_STREQ(ReadDelayLoadPath(HKEY_LOCAL_MACHINE, (key + "\\none").c_str(), "short.dll"), "");

  // Stored without a terminator and not as text: still a terminated text.
  RegistryValue raw(key, "raw.dll", "");
  HKEY handle = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &handle), ERROR_SUCCESS);
  const char bytes[] = {'C', ':', '\\', 'r', 'a', 'w'};
  RegSetValueExA(handle, "raw.dll", 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes), sizeof(bytes));
  RegCloseKey(handle);
  EXPECT_STREQ(ReadDelayLoadPath(HKEY_LOCAL_MACHINE, key.c_str(), "raw.dll"), "C:\\raw");
}

// The helper executable, copied into a folder of its own.
class DelayLoadBesideExe : public ::testing::Test {
 protected:
  DelayLoadBesideExe() : dir_(L"delayload-exe") {
    exe_ = dir_.file(L"child.exe");
    CopyFileW(larktest::BuiltExe(L"platform_delayload_child").c_str(), exe_.c_str(), FALSE);
  }
  // Runs the child for id and import; returns its output line.
  std::string Run(int id, const std::string& import) { return Run(std::to_string(id), import); }
  std::string Run(const std::string& id, const std::string& import) {
    std::wstring out = dir_.file(L"out.txt");
    DeleteFileW(out.c_str());
    larktest::ProcessResult result = larktest::RunProcess(L"\"" + exe_ + L"\" " + Widen(id) +
                                                          L" lark_dlprobe.dll " + Widen(import) + L" \"" + out + L"\"");
    EXPECT_TRUE(result.started);
    std::string text;
    larktest::ReadFileBytes(out, text);
    return text;
  }
  larktest::ScratchDir dir_;
  std::wstring exe_;
};

TEST_F(DelayLoadBesideExe, LibraryBesideTheExecutableWinsOverTheRegistry) {
  int id = UniqueId();
  // The registry names the variant without ProbeName: were it used, code 2.
  RegistryValue value(GetDelayLoadKey(id), "lark_dlprobe.dll", Narrow(StandinPath(L"partial", L"lark_dlprobe.dll")));
  ASSERT_TRUE(CopyFileW(StandinPath(L"full", L"lark_dlprobe.dll").c_str(), dir_.file(L"lark_dlprobe.dll").c_str(),
                        FALSE));
  std::string beside = Narrow(dir_.file(L"lark_dlprobe.dll"));
  EXPECT_EQ(Run(id, "ProbeName"), "0|||" + beside);
}

TEST_F(DelayLoadBesideExe, RegistryUsedWhenNothingOrNoLibraryIsBeside) {
  int id = UniqueId();
  std::string registered = Narrow(StandinPath(L"full", L"lark_dlprobe.dll"));
  RegistryValue value(GetDelayLoadKey(id), "lark_dlprobe.dll", registered);
  EXPECT_EQ(Run(id, "#2"), "0|||" + registered);
  // A file beside the executable that does not load does not stop the search.
  ASSERT_TRUE(larktest::WriteFileBytes(dir_.file(L"lark_dlprobe.dll"), std::string("garbage")));
  EXPECT_EQ(Run(id, "ProbeName"), "0|||" + registered);
}

TEST_F(DelayLoadBesideExe, NothingAnywhereIsCodeOne) {
  EXPECT_EQ(Run(UniqueId(), "ProbeName"), "1|lark_dlprobe.dll||");
}

// Before any CallWithDelayLoad a first call searches under the key of id
// 100; a failure there is thrown to the caller.
TEST_F(DelayLoadBesideExe, FirstCallOutsideUsesTheInitialKey) {
  EXPECT_EQ(Run("outside", "ProbeName"), "1|lark_dlprobe.dll|ProbeName|");
  std::string registered = Narrow(StandinPath(L"full", L"lark_dlprobe.dll"));
  RegistryValue value(GetDelayLoadKey(100), "lark_dlprobe.dll", registered);
  EXPECT_EQ(Run("outside", "ProbeName"), "0|||" + registered);
}
