// Preloaded into the service by one end-to-end test: a loop device that is about to be mounted
// is detached just before mount(2) runs, as a medium pulled out between its arrival and its mount
// would be. Every other mount(2) passes through unchanged.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

extern "C" int mount(const char *source, const char *target, const char *type, unsigned long flags, const void *data)
{
    using MountFunction = int (*)(const char *, const char *, const char *, unsigned long, const void *);
    static const auto next = reinterpret_cast<MountFunction>(dlsym(RTLD_NEXT, "mount"));
    if (source != nullptr && std::strncmp(source, "/dev/loop", 9) == 0) {
        int fd = open(source, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ioctl(fd, LOOP_CLR_FD, 0);
            close(fd);
        }
    }
    return next(source, target, type, flags, data);
}
