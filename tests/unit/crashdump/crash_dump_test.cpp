// The crash-dump writer called with made-up exceptions, and its path limits.
#include <windows.h>
#include <dbghelp.h>

#include <cstring>

#include "crashdump/crash_dump.h"
#include "../test_support.h"

namespace fs = std::filesystem;

TEST(DumpPath, NameTakesVersionAndPlatformAndAPathThatWouldNotFitIsLeftEmpty) {
  char name[64];
  FormatDumpName(name, ProgramVersionRecord{255, 0, 3, 9, {}}, "Win32");
  ASSERT_STREQ(name, "ZAV_255.0.3.9_Win32.dmp");
  const std::pair<size_t, bool> cases[] = {{3, true}, {235, true}, {236, false}, {259, false}};  // 235+1+23+NUL=260
  for (const auto& [length, fits] : cases) {
    const std::string folder(length, 'f');
    char path[kDumpPathChars + 16];
    memset(path, 'x', sizeof path);
    EXPECT_EQ(JoinDumpPath(path, folder.c_str(), "\\", name), fits) << length;
    EXPECT_EQ(std::string(path), fits ? folder + "\\" + name : "") << length;
    EXPECT_EQ(std::string(path + kDumpPathChars, 16), std::string(16, 'x')) << length;
  }
  EXPECT_EQ(LoadSystemDll(std::string(300, 'a').c_str()), nullptr);
}

// Beside the program (replacing an older, longer dump), else in the temp folder, else nowhere. A folder that
// is unknown, too long, or spelt in the code page only by a best-fit stand-in ("tool" exists) is skipped.
TEST(CrashDumpFilter, WritesTheDumpInTheFirstFolderThatTakesIt) {
  const fs::path root = TempPath(L"crashdump"), program = root / "program", temp = root / "temp";
  for (const fs::path& folder : {program, temp, root / "tool"}) fs::create_directories(folder);
  const std::string dumpName = "ZAV_1.2.3.4_" + fs::path(ZAV_PLATFORM_WORD).string() + ".dmp";
  PutFile(program / dumpName, std::string(4 << 20, 'z'));
  ProgramVersion = ProgramVersionRecord{1, 2, 3, 4, {}};
  CapturedOutput output;
  const std::pair<std::wstring, fs::path> cases[] = {  // a case with no dump also has no temp folder
      {program.wstring(), program / dumpName},
      {(program / "missing").wstring(), temp / dumpName},
      {L"", {}},
      {L"C:\\" + std::wstring(kDumpPathChars - 8, L'L'), {}},
      {(root / L"t\x014Fol").wstring(), {}},
  };
  EXCEPTION_RECORD record = {0xE0000001, 0, nullptr, reinterpret_cast<void*>(uintptr_t{0x12345678}), 0, {}};
  CONTEXT context = {};
  RtlCaptureContext(&context);
  EXCEPTION_POINTERS pointers = {&record, &context};
  char line[64];
  std::string printed;
  wsprintfA(line, "Exception 0x%08X at 0x%p!\r\n", record.ExceptionCode, record.ExceptionAddress);
  auto readStream = reinterpret_cast<decltype(&MiniDumpReadDumpStream)>(
      reinterpret_cast<void*>(GetProcAddress(LoadSystemDll("DBGHELP.DLL"), "MiniDumpReadDumpStream")));
  for (const auto& [folder, dump] : cases) {
    lstrcpynW(ProgramFolder, folder.c_str(), 260);
    SetEnvironmentVariableW(L"TMP", ((dump.empty() ? temp / "missing" : temp).wstring() + L"\\").c_str());
    EXPECT_EQ(CrashDumpFilter(&pointers), EXCEPTION_EXECUTE_HANDLER);
    printed += line + (dump.empty() ? "" : "MiniDump written to " + dump.string() + "\r\n");
    EXPECT_EQ(output.Text(), printed);
    if (dump.empty()) continue;
    std::string bytes = FileText(dump);
    void* stream = nullptr;
    ASSERT_TRUE(bytes.size() > 32 && readStream(&bytes[0], ExceptionStream, nullptr, &stream, nullptr));
    EXPECT_EQ(static_cast<MINIDUMP_EXCEPTION_STREAM*>(stream)->ThreadId, GetCurrentThreadId());
    EXPECT_EQ(static_cast<MINIDUMP_EXCEPTION_STREAM*>(stream)->ExceptionRecord.ExceptionCode, record.ExceptionCode);
    EXPECT_NE(bytes.substr(bytes.size() - 64), std::string(64, 'z'));
  }
  EXPECT_TRUE(fs::is_empty(root / "tool"));
  fs::remove_all(root);
}
