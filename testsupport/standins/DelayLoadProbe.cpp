// A small library for the resolver's own tests: one function by name, one
// reachable by name and by ordinal, two by ordinal only (see the .def
// files; the partial variant lacks "ProbeName" and ordinal 2).
#include <windows.h>

extern "C" {

int __cdecl ProbeAdd(int a, int b) { return a + b; }

int __cdecl ProbeFirst() { return 1; }

int __cdecl ProbeSecond() { return 2; }

const char* __cdecl ProbeName() { return "probe"; }

}
