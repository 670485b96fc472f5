// The log writers on real files in a scratch folder: the byte-order mark,
// size-based rotation, delete names and the file mutex.
#include "logging/FileAccess.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "logging/LogMutex.h"
#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"

using KhBcxLogging::FileAccessBase;
using KhBcxLogging::FileAccessContinuous;
using KhBcxLogging::FileAccessTransient;
using KhBcxLogging::FileLowLevel;
using KhBcxLogging::FileUtilsWin32;

namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Bytes(const std::wstring& path) {
  std::string bytes;
  larktest::ReadFileBytes(path, bytes);
  return bytes;
}

std::wstring Rotated(const std::wstring& path, DWORD index) {
  wchar_t name[1100];
  EXPECT_TRUE(KhBcxLogging::MakeRotatedFileName(_countof(name), path.c_str(), name, index));
  return name;
}

class FileAccessTest : public ::testing::Test {
 protected:
  FileAccessTest() : m_dir(L"fileaccess"), m_path(m_dir.file(L"stub.log")) {}

  std::unique_ptr<FileAccessBase> Transient(DWORD rotateCount, DWORD sizeLimit) {
    return std::unique_ptr<FileAccessBase>(
        new FileAccessTransient(rotateCount, sizeLimit, m_path.c_str(), new FileLowLevel(), new FileUtilsWin32()));
  }

  void WriteLine(FileAccessBase& writer, const std::wstring& text) {
    writer.Write(text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
  }

  larktest::ScratchDir m_dir;
  std::wstring m_path;
};

TEST_F(FileAccessTest, NewFileStartsWithTheMarkAndExistingFileIsAppendedTo) {
  {
    auto writer = Transient(2, 100 * 1024);
    WriteLine(*writer, L"one\r\n");
  }
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"one\r\n"));
  {
    auto writer = Transient(2, 100 * 1024);
    WriteLine(*writer, L"two\r\n");
  }
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"one\r\ntwo\r\n"));
  EXPECT_FALSE(Exists(Rotated(m_path, 1)));
}

TEST_F(FileAccessTest, RotatesOnlyWhenOverTheLimit) {
  struct Case {
    size_t sizeOverLimit;
    bool rotates;
  } const cases[] = {{0, false}, {1, true}};
  const DWORD kLimit = 1024;
  for (const Case& c : cases) {
    std::string old = logtest::WithMark(std::wstring((kLimit - 2) / 2, L'o'));
    old.append(c.sizeOverLimit, 'o');
    ASSERT_EQ(old.size(), kLimit + c.sizeOverLimit);
    ASSERT_TRUE(larktest::WriteFileBytes(m_path, old));
    {
      auto writer = Transient(2, kLimit);
      WriteLine(*writer, L"new\r\n");
    }
    if (c.rotates) {
      EXPECT_EQ(Bytes(Rotated(m_path, 1)), old);
      EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"new\r\n"));
    } else {
      EXPECT_FALSE(Exists(Rotated(m_path, 1)));
      EXPECT_EQ(Bytes(m_path), old + std::string("n\0e\0w\0\r\0\n\0", 10));
    }
    DeleteFileW(m_path.c_str());
    DeleteFileW(Rotated(m_path, 1).c_str());
  }
}

TEST_F(FileAccessTest, FileWithoutTheMarkIsRotatedAway) {
  ASSERT_TRUE(larktest::WriteFileBytes(m_path, std::string("plain text")));
  {
    auto writer = Transient(2, 100 * 1024);
    WriteLine(*writer, L"line\r\n");
  }
  EXPECT_EQ(Bytes(Rotated(m_path, 1)), "plain text");
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"line\r\n"));
}

TEST_F(FileAccessTest, ClampsTheLimitAndTheRotateCount) {
  struct Case {
    DWORD rotateCount, sizeLimit, expectedCount, expectedLimit;
  } const cases[] = {{0, 0, 0, 3}, {2, 2, 2, 3}, {99, 3, 99, 3}, {100, 4, 99, 4}, {150, 102400, 99, 102400}};
  for (const Case& c : cases) {
    auto writer = Transient(c.rotateCount, c.sizeLimit);
    EXPECT_EQ(writer->rotateCount(), c.expectedCount);
    EXPECT_EQ(writer->sizeLimit(), c.expectedLimit);
  }
}

TEST_F(FileAccessTest, RotationShiftsTheNumberedFilesAndDropsTheOldest) {
  ASSERT_TRUE(larktest::WriteFileBytes(m_path, logtest::WithMark(L"base")));
  ASSERT_TRUE(larktest::WriteFileBytes(Rotated(m_path, 1), logtest::WithMark(L"one")));
  ASSERT_TRUE(larktest::WriteFileBytes(Rotated(m_path, 2), logtest::WithMark(L"two")));
  {
    auto writer = Transient(2, 3);
    WriteLine(*writer, L"new");
  }
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"new"));
  EXPECT_EQ(Bytes(Rotated(m_path, 1)), logtest::WithMark(L"base"));
  EXPECT_EQ(Bytes(Rotated(m_path, 2)), logtest::WithMark(L"one"));
  EXPECT_FALSE(Exists(Rotated(m_path, 3)));
  EXPECT_FALSE(Exists(m_path + L"__delete_1"));
}

TEST_F(FileAccessTest, RotateCountOfZeroStartsTheFileAnew) {
  ASSERT_TRUE(larktest::WriteFileBytes(m_path, logtest::WithMark(L"old old old")));
  {
    auto writer = Transient(0, 3);
    WriteLine(*writer, L"new");
    EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"new"));
    WriteLine(*writer, L"next");
  }
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"next"));
  EXPECT_FALSE(Exists(Rotated(m_path, 1)));
  EXPECT_FALSE(Exists(m_path + L"__delete_1"));
}

TEST_F(FileAccessTest, RotateCountOver99KeepsNinetyNineFiles) {
  ASSERT_TRUE(larktest::WriteFileBytes(m_path, logtest::WithMark(L"base")));
  for (DWORD i = 1; i <= 99; ++i) {
    ASSERT_TRUE(larktest::WriteFileBytes(Rotated(m_path, i), logtest::WithMark(std::to_wstring(i))));
  }
  {
    auto writer = Transient(150, 3);
    WriteLine(*writer, L"new");
  }
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"new"));
  EXPECT_EQ(Bytes(Rotated(m_path, 1)), logtest::WithMark(L"base"));
  for (DWORD i = 2; i <= 99; ++i) {
    EXPECT_EQ(Bytes(Rotated(m_path, i)), logtest::WithMark(std::to_wstring(i - 1))) << i;
  }
  EXPECT_FALSE(Exists(Rotated(m_path, 100)));
}

TEST_F(FileAccessTest, ContinuousWriterRotatesToo) {
  ASSERT_TRUE(larktest::WriteFileBytes(m_path, logtest::WithMark(L"base")));
  {
    FileAccessContinuous writer(2, 3, m_path.c_str(), new FileLowLevel(), new FileUtilsWin32());
    WriteLine(writer, L"new");
  }
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"new"));
  EXPECT_EQ(Bytes(Rotated(m_path, 1)), logtest::WithMark(L"base"));
}

TEST_F(FileAccessTest, DeleteNameSkipsNamesInUse) {
  auto writer = Transient(2, 1024);
  wchar_t name[1100];
  writer->MakeDeleteName(name, _countof(name), m_path.c_str());
  EXPECT_EQ(std::wstring(name), m_path + L"__delete_1");
  ASSERT_TRUE(larktest::WriteFileBytes(m_path + L"__delete_1", std::string("x")));
  writer->MakeDeleteName(name, _countof(name), m_path.c_str());
  EXPECT_EQ(std::wstring(name), m_path + L"__delete_2");
  writer->MakeDeleteName(name, m_path.size() + 5, m_path.c_str());
  EXPECT_EQ(std::wstring(name), L"");
}

TEST_F(FileAccessTest, DeleteFreesTheNameAtOnceWhileTheFileIsOpen) {
  ASSERT_TRUE(larktest::WriteFileBytes(m_path, logtest::WithMark(L"held")));
  HANDLE held = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  auto writer = Transient(0, 1024);
  EXPECT_TRUE(writer->DeleteFile(m_path.c_str()));
  EXPECT_FALSE(Exists(m_path));
  // The name is free for a new file even before the old one is gone.
  ASSERT_TRUE(larktest::WriteFileBytes(m_path, logtest::WithMark(L"fresh")));
  CloseHandle(held);
  EXPECT_FALSE(Exists(m_path + L"__delete_1"));
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"fresh"));
}

TEST_F(FileAccessTest, FileThatCannotBeOpenedLosesTheLineAndIsRetried) {
  // A folder in the file's place makes the open fail.
  ASSERT_TRUE(CreateDirectoryW(m_path.c_str(), nullptr));
  auto writer = Transient(2, 1024);
  WriteLine(*writer, L"lost");
  ASSERT_TRUE(RemoveDirectoryW(m_path.c_str()));
  WriteLine(*writer, L"kept");
  writer.reset();
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"kept"));
}

TEST_F(FileAccessTest, LineIsDroppedWhenAnotherWriterHoldsTheMutex) {
  auto writer = Transient(2, 1024);
  ASSERT_NE(writer->mutex(), nullptr);
  WriteLine(*writer, L"first");
  HANDLE acquired = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    HANDLE mutex = KhBcxLogging::OpenLogFileMutex(m_path.c_str());
    WaitForSingleObject(mutex, INFINITE);
    SetEvent(acquired);
    WaitForSingleObject(release, 10000);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  });
  ASSERT_EQ(WaitForSingleObject(acquired, 10000), WAIT_OBJECT_0);
  DWORD start = GetTickCount();
  WriteLine(*writer, L"dropped");
  DWORD waited = GetTickCount() - start;
  SetEvent(release);
  holder.join();
  EXPECT_GE(waited, 400u);
  WriteLine(*writer, L"third");
  writer.reset();
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"firstthird"));
  CloseHandle(acquired);
  CloseHandle(release);
}

TEST_F(FileAccessTest, AbandonedMutexCountsAsAcquired) {
  auto writer = Transient(2, 1024);
  std::thread quitter([&] {
    HANDLE mutex = KhBcxLogging::OpenLogFileMutex(m_path.c_str());
    WaitForSingleObject(mutex, INFINITE);
    CloseHandle(mutex);  // ends owning it: the mutex is abandoned
  });
  quitter.join();
  WriteLine(*writer, L"after abandon");
  writer.reset();
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"after abandon"));
}

TEST_F(FileAccessTest, WritesEvenWithoutAnyMutex) {
  // An event under the mutex's name makes both creating and opening it fail.
  std::wstring name = L"Global\\KhBcxLogging_" + m_path;
  for (size_t i = 7; i < name.size(); ++i) {
    if (name[i] == L'\\') name[i] = L'_';
  }
  HANDLE squatter = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  ASSERT_NE(squatter, nullptr);
  {
    auto writer = Transient(2, 1024);
    EXPECT_EQ(writer->mutex(), nullptr);
    WriteLine(*writer, L"still written");
  }
  CloseHandle(squatter);
  EXPECT_EQ(Bytes(m_path), logtest::WithMark(L"still written"));
}

TEST_F(FileAccessTest, CreatesTheMissingLogFolders) {
  std::wstring deep = m_dir.file(L"a\\b\\c\\stub.log");
  {
    FileAccessTransient writer(2, 1024, deep.c_str(), new FileLowLevel(), new FileUtilsWin32());
    EXPECT_TRUE(Exists(m_dir.file(L"a\\b\\c")));
    WriteLine(writer, L"deep");
  }
  EXPECT_EQ(Bytes(deep), logtest::WithMark(L"deep"));
}

TEST(RotatedFileNameTest, NumbersTheStem) {
  struct Case {
    const wchar_t* path;
    DWORD index;
    const wchar_t* expected;
  } const cases[] = {
      {L"C:\\logs\\stub.log", 0, L"C:\\logs\\stub.log"},
      {L"C:\\logs\\stub.log", 1, L"C:\\logs\\stub.1.log"},
      {L"C:\\logs\\stub.log", 99, L"C:\\logs\\stub.99.log"},
      {L"C:\\logs\\stub", 2, L"C:\\logs\\stub.2"},
      {L"C:\\logs\\stub.", 1, L"C:\\logs\\stub.1"},
      {L"C:\\logs.d\\stub", 1, L"C:\\logs.d\\stub.1"},
      {L"C:\\logs.d\\stub.x.log", 3, L"C:\\logs.d\\stub.x.3.log"},
      {L".log", 1, L".log.1"},
  };
  for (const Case& c : cases) {
    wchar_t out[64];
    ASSERT_TRUE(KhBcxLogging::MakeRotatedFileName(_countof(out), c.path, out, c.index));
    EXPECT_EQ(std::wstring(out), c.expected) << larktest::Narrow(c.path) << " " << c.index;
  }
  wchar_t small[8];
  EXPECT_FALSE(KhBcxLogging::MakeRotatedFileName(_countof(small), L"C:\\stub.log", small, 1));
  EXPECT_EQ(std::wstring(small), L"");
}

}  // namespace
