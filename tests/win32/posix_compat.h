// The few POSIX calls the shared unit tests use for their fixtures, given
// on Windows for the Windows unit test binary (forced in front of every
// test file by the build).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Replaces the trailing "XXXXXX" of the pattern and creates that folder;
// the pattern, or null when no folder could be made.
char* mkdtemp(char* pattern);
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
// 0: Windows folders do not refuse their owner's writes through permission
// bits, so checks that only such bits enforce are left out, as for root.
unsigned geteuid(void);

#ifdef __cplusplus
}
#endif
