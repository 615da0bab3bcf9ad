// Advice from the platform backend, after the tool has said why the pendant
// could not be opened. The tool's messages are the same on every platform;
// a backend may know more (on Linux: which device node refused access, and
// what gives it) and says so here, on standard error, so that standard
// output stays exactly the Windows program's. Every backend defines it; most
// have nothing to say.
#pragma once

void PrintPlatformAdvice();
