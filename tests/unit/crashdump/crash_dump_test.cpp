// The crash-dump writer called directly with made-up exceptions, and the out-of-memory retry.
#include <windows.h>
#include <dbghelp.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/output.h"
#include "crashdump/crash_dump.h"
#include "pool/memory.h"
#include "run/process_setup.h"

namespace {
std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The exception code and thread that a minidump records, or 0 when it is no minidump with an exception.
struct DumpedException {
  DWORD code = 0;
  DWORD threadId = 0;
};

DumpedException ReadDumpedException(const std::string& dump) {
  DumpedException result;
  if (dump.size() < sizeof(MINIDUMP_HEADER)) return result;  // signature "MDMP" below
  auto header = reinterpret_cast<const MINIDUMP_HEADER*>(dump.data());
  if (header->Signature != 0x504D444Du) return result;
  for (ULONG32 i = 0; i < header->NumberOfStreams; ++i) {
    size_t at = header->StreamDirectoryRva + i * sizeof(MINIDUMP_DIRECTORY);
    if (at + sizeof(MINIDUMP_DIRECTORY) > dump.size()) return result;
    auto entry = reinterpret_cast<const MINIDUMP_DIRECTORY*>(dump.data() + at);
    if (entry->StreamType != ExceptionStream) continue;
    if (entry->Location.Rva + sizeof(MINIDUMP_EXCEPTION_STREAM) > dump.size()) return result;
    auto stream = reinterpret_cast<const MINIDUMP_EXCEPTION_STREAM*>(dump.data() + entry->Location.Rva);
    result.code = stream->ExceptionRecord.ExceptionCode;
    result.threadId = stream->ThreadId;
  }
  return result;
}

class CrashDumpTest : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    GetEnvironmentVariableA("TMP", savedTmp_, sizeof savedTmp_);
    root_ = std::string(temp) + "zav_crashdump_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(root_.c_str(), nullptr);
    programFolder_ = MakeFolder("program");
    tempFolder_ = MakeFolder("temp");
    SetEnvironmentVariableA("TMP", (tempFolder_ + "\\").c_str());
    MultiByteToWideChar(CP_ACP, 0, programFolder_.c_str(), -1, ProgramFolder, 260);
    ProgramVersion = ProgramVersionRecord{1, 2, 3, 4, {}};
    output_ = CreateFileA((root_ + "\\output.txt").c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    SetOutputHandleForTesting(output_);
  }

  void TearDown() override {
    SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(output_);
    SetEnvironmentVariableA("TMP", savedTmp_[0] ? savedTmp_ : nullptr);
    RemoveTree(root_);
  }

  std::string MakeFolder(const char* name) {
    std::string path = root_ + "\\" + name;
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
  }

  static void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = folder + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveTree(path);
        else
          DeleteFileA(path.c_str());
      } while (FindNextFileA(find, &entry));
      FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
  }

  std::string Output() { return ReadWholeFile(root_ + "\\output.txt"); }

  // A made-up exception with a real context of this thread, as the system would hand it to the filter.
  LONG CallFilter(DWORD code, void* address) {
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionAddress = address;
    CONTEXT context = {};
    RtlCaptureContext(&context);
    EXCEPTION_POINTERS pointers = {&record, &context};
    return CrashDumpFilter(&pointers);
  }

  static std::string ExceptionLine(DWORD code, void* address) {
    char line[128];
    wsprintfA(line, "Exception 0x%08X at 0x%p!\r\n", code, address);
    return line;
  }

  std::string root_, programFolder_, tempFolder_;
  char savedTmp_[MAX_PATH] = {};
  HANDLE output_ = INVALID_HANDLE_VALUE;
};

void* const kAddress = reinterpret_cast<void*>(static_cast<uintptr_t>(0x12345678));
// The name for version 1.2.3.4 with this build's platform word.
const std::string kDumpName = [] {
  std::string name = "ZAV_1.2.3.4_";
  for (const wchar_t* c = ZAV_PLATFORM_WORD; *c; ++c) name += static_cast<char>(*c);
  return name + ".dmp";
}();
}  // namespace

TEST(DumpName, TakesVersionAndPlatformWord) {
  struct Case {
    ProgramVersionRecord version;
    const char* platform;
    const char* expected;
  } cases[] = {
      {{1, 2, 3, 4, {}}, "Win32", "ZAV_1.2.3.4_Win32.dmp"},
      {{1, 2, 3, 0, {}}, "Win64", "ZAV_1.2.3.0_Win64.dmp"},
      {{255, 0, 255, 9, {}}, "Win32", "ZAV_255.0.255.9_Win32.dmp"},
  };
  for (const Case& c : cases) {
    char name[64];
    FormatDumpName(name, c.version, c.platform);
    EXPECT_STREQ(name, c.expected);
  }
}

TEST(DumpPath, PathThatWouldNotFitIsLeftEmpty) {
  const std::string name = "ZAV_1.2.3.4_Win32.dmp";
  struct Case {
    size_t folderLength;
    int fits;
  } cases[] = {{3, 1}, {kDumpPathChars - 2 - name.size(), 1}, {kDumpPathChars - 1 - name.size(), 0}, {259, 0}};
  for (const Case& c : cases) {
    std::string folder(c.folderLength, 'f');
    char path[kDumpPathChars + 16];
    memset(path, 'x', sizeof path);
    EXPECT_EQ(JoinDumpPath(path, folder.c_str(), "\\", name.c_str()), c.fits) << c.folderLength;
    EXPECT_EQ(std::string(path), c.fits ? folder + "\\" + name : "") << c.folderLength;
    // Nothing past the buffer is touched.
    for (size_t i = kDumpPathChars; i < sizeof path; ++i) EXPECT_EQ(path[i], 'x');
  }
}

TEST(LoadSystemDll, LoadsFromTheSystemFolderOnly) {
  HMODULE dbghelp = LoadSystemDll("DBGHELP.DLL");
  ASSERT_NE(dbghelp, nullptr);
  EXPECT_NE(GetProcAddress(dbghelp, "MiniDumpWriteDump"), nullptr);
  FreeLibrary(dbghelp);
  EXPECT_EQ(LoadSystemDll("zav_no_such_library.dll"), nullptr);
  EXPECT_EQ(LoadSystemDll(std::string(300, 'a').c_str()), nullptr);
}

// An earlier dump of the same version is replaced, not appended to.
TEST_F(CrashDumpTest, WritesDumpBesideTheProgram) {
  std::string dumpPath = programFolder_ + "\\" + kDumpName;
  HANDLE old = CreateFileA(dumpPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::string tail(64, 'z');
  DWORD written = 0;
  for (int i = 0; i < 40000; ++i) WriteFile(old, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr);
  CloseHandle(old);

  EXPECT_EQ(CallFilter(0xE0000001, kAddress), EXCEPTION_EXECUTE_HANDLER);
  EXPECT_EQ(Output(), ExceptionLine(0xE0000001, kAddress) + "MiniDump written to " + dumpPath + "\r\n");
  std::string dump = ReadWholeFile(dumpPath);
  DumpedException dumped = ReadDumpedException(dump);
  EXPECT_EQ(dumped.code, 0xE0000001u);
  EXPECT_EQ(dumped.threadId, GetCurrentThreadId());
  EXPECT_NE(dump.substr(dump.size() - tail.size()), tail);
  EXPECT_FALSE(FileExists(tempFolder_ + "\\" + kDumpName));
}

// The program folder cannot take the dump: missing, a folder in the dump's place, a path too long to build, or
// a name the 8-bit code page cannot spell (its best-fit stand-in "tool" exists and must stay untouched).
TEST_F(CrashDumpTest, FallsBackToTheTempFolder) {
  std::wstring wideProgramFolder(programFolder_.begin(), programFolder_.end());
  std::string bestFit = MakeFolder("tool");
  CreateDirectoryA((programFolder_ + "\\" + kDumpName).c_str(), nullptr);
  const std::wstring folders[] = {
      wideProgramFolder + L"\\missing",
      wideProgramFolder,  // holds a folder named like the dump
      L"C:\\" + std::wstring(kDumpPathChars - 8, L'L'),
      std::wstring(wideProgramFolder.begin(), wideProgramFolder.end() - 7) + L"t\x014Fol",
  };
  for (const std::wstring& folder : folders) {
    lstrcpynW(ProgramFolder, folder.c_str(), 260);
    SetFilePointer(output_, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(output_);
    std::string tempDump = tempFolder_ + "\\" + kDumpName;
    DeleteFileA(tempDump.c_str());

    EXPECT_EQ(CallFilter(0xC0000094, kAddress), EXCEPTION_EXECUTE_HANDLER);
    EXPECT_EQ(Output(), ExceptionLine(0xC0000094, kAddress) + "MiniDump written to " + tempDump + "\r\n")
        << folder.size();
    EXPECT_EQ(ReadDumpedException(ReadWholeFile(tempDump)).code, 0xC0000094u) << folder.size();
  }
  EXPECT_FALSE(FileExists(bestFit + "\\" + kDumpName));
}

TEST_F(CrashDumpTest, NoPlaceForTheDumpLeavesOnlyTheExceptionLine) {
  MultiByteToWideChar(CP_ACP, 0, (programFolder_ + "\\missing").c_str(), -1, ProgramFolder, 260);
  SetEnvironmentVariableA("TMP", (tempFolder_ + "\\missing\\").c_str());
  EXPECT_EQ(CallFilter(0x80000003, kAddress), EXCEPTION_EXECUTE_HANDLER);
  EXPECT_EQ(Output(), ExceptionLine(0x80000003, kAddress));
}

TEST_F(CrashDumpTest, UnknownProgramFolderIsNotTheDriveRoot) {
  ProgramFolder[0] = 0;
  CallFilter(0xE0000002, kAddress);
  EXPECT_EQ(Output(), ExceptionLine(0xE0000002, kAddress) + "MiniDump written to " + tempFolder_ + "\\" + kDumpName +
                          "\r\n");
}

namespace {
int FailuresLeft = 0;
int BreakpointsSeen = 0;

LPVOID WINAPI FailingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (FailuresLeft > 0) {
    --FailuresLeft;
    return nullptr;
  }
  return HeapAlloc(heap, flags, bytes);
}

// Stands in for a debugger that continues after the breakpoint.
LONG WINAPI ContinueAfterBreakpoint(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT) return EXCEPTION_CONTINUE_SEARCH;
  ++BreakpointsSeen;
#ifdef _WIN64
  DWORD64& pc = exception->ContextRecord->Rip;
#else
  DWORD& pc = exception->ContextRecord->Eip;
#endif
  if (*reinterpret_cast<const unsigned char*>(pc) == 0xCC) ++pc;  // step over the int3
  return EXCEPTION_CONTINUE_EXECUTION;
}
}  // namespace

TEST(MemAllocFailure, BreaksAndRetriesUntilTheAllocationSucceeds) {
  FailuresLeft = 2;
  BreakpointsSeen = 0;
  HeapAllocCall = FailingHeapAlloc;
  void* handler = AddVectoredExceptionHandler(1, ContinueAfterBreakpoint);
  auto block = static_cast<unsigned char*>(MemAlloc(100));
  RemoveVectoredExceptionHandler(handler);
  HeapAllocCall = HeapAlloc;
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(BreakpointsSeen, 2);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(block[i], 0);
  MemFree(block);
}
