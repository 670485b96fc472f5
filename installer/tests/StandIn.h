// A test executable that can also play the programs that the engine
// starts: the elevated copy (started with "--elevated") and the agent's
// "trigger.exe" (started with "--open-agent"). The engine copies the running
// program into its secure folder and starts the copy, so an in-process test
// of the handshake meets its own executable on the other side.
//
// The environment tells the stand-ins what to do (it reaches the copy
// through the shell): LARK_COPY_MODE "signal:N" opens AllowedToOperate,
// signals it, waits to be answered and exits with N; "exit:N" exits with N
// at once. LARK_COPY_LOG and LARK_TRIGGER_LOG name files to which each
// start appends its command line (UTF-8, one line).
#pragma once

#include <string>

namespace standin {

const wchar_t kCopyMode[] = L"LARK_COPY_MODE";
const wchar_t kCopyLog[] = L"LARK_COPY_LOG";
const wchar_t kTriggerLog[] = L"LARK_TRIGGER_LOG";

// Runs the stand-in that the command line asks for and returns true with
// its exit code; false when the process is the test itself.
bool RunStandIn(int& exitCode);

// The lines a stand-in log holds (empty when it does not exist).
std::wstring ReadLog(const std::wstring& path);

}  // namespace standin
