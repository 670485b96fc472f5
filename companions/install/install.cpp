// install: hands the whole installation to the batch file "install1.bat" in
// the current folder. The batch file decides what is installed; this
// program only starts it through the command interpreter and waits for it.
#include <cstdlib>

int main(int /*argc*/, char** /*argv*/, char** /*envp*/) {
  // The name is relative on purpose: the batch file of the folder the user
  // started us from runs, not one beside the program. Whatever the
  // interpreter reports (a failed batch, a missing file), it has already
  // said so on the console, so the result is not ours to pass on.
  std::system("install1.bat");
  return 0;
}
