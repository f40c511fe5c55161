// netprefs: inspects and changes the network sets of the preferences store through the
// preferences model. NetprefsMain is the whole program; main() only hands it the standard
// streams, so tests can run it in process.
#ifndef NETPREFS_H
#define NETPREFS_H

#include <cstdio>

// Exit statuses: 0 done, 1 the request failed (message on err), 2 a usage error.
int NetprefsMain(int argc, const char *const argv[], std::FILE *out, std::FILE *err);

#endif  // NETPREFS_H
