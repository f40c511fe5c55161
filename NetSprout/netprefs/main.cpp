// netprefs: see netprefs.8.
#include "Netprefs.h"

int main(int argc, char *argv[])
{
    return NetprefsMain(argc, argv, stdout, stderr);
}
