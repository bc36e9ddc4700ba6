#include "run/usage.h"

#include "console/output.h"
#include "run/process_setup.h"

void PrintBanner() {
  ConsolePrint(L"ZAV V%s %s - finds files with identical content\n", ProgramVersion.text, ZAV_PLATFORM_WORD);
}

void PrintUsage() {
  static const wchar_t* const kLines[] = {
      L"Usage:\n",
      L"ZAV FileSpec1 [FileSpec2] [-t:testsize][-m:minfilesize][-x:maxfilesize]\n",
      L"    [-i][-s][-n][-d][-h]\n",
      L"-t:size  test 3 blocks of this size only instead of the whole file\n",
      L"         e.g. -t:1M for testing 1 MB at file start, mid and end\n",
      L"-m:size  minimum file size to test, smaller files are skipped\n",
      L"         e.g. -m:1K for testing files > 1KB\n",
      L"-x:size  maximum file size to test, larger files are skipped\n",
      L"         e.g. -x:1M for testing < 1MB\n",
      L"-i   identical file names only\n",
      L"-s   scan subdirs 1+2\n",
      L"-s1  scan subdirs 1 (default if FileSpec1 is a folder)\n",
      L"-s2  scan subdirs 2 (default if FileSpec2 is a folder)\n",
      L"-r   scan reparse points 1+2\n",
      L"-r1  scan reparse points 1\n",
      L"-r2  scan reparse points 2\n",
      L"-r   scan reparse points\n",
      L"-fh  find hardlinks (by default hardlinks are not handled as identical files)\n",
      L"-ded delete emptied directories\n",
      L"-n   no wait for key on finish if started standalone\n",
      L"if duplicate found:\n",
      L"-d1  delete file1\n",
      L"-d2  delete file2\n",
      L"-d   delete the file which is more fragmented\n",
      L"-h   replace the file which is more fragmented by hardlink\n",
      L"-dsn delete the file with the shorter file name\n",
      L"-dln delete the file with the longer file name\n",
      L"-dsp delete the file with the shorter path name\n",
      L"-dlp delete the file with the longer path name\n",
      L"-do  delete the file with the older write date\n",
      L"-dn  delete the file with the newer write date\n",
      L"-e1  rename file1\n",
      L"-e2  rename file2\n",
      L"\n",
  };
  for (const wchar_t* line : kLines) ConsolePrint(L"%s", line);
}
