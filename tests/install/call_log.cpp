// Preloaded into the program by the command-line tests: it writes the name of every listen(),
// bind() and connect() call to the file $VESKER_CALL_LOG before making it, so that a test can
// tell that the program never listened on a port nor reached a running copy, however briefly.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void note(const char* call)
{
    const char* path = getenv("VESKER_CALL_LOG");
    if (!path)
        return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    (void)!write(fd, call, strlen(call));
    (void)!write(fd, "\n", 1);
    close(fd);
}

template <typename Function> Function real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int listen(int fd, int backlog)
{
    note("listen");
    return real<int (*)(int, int)>("listen")(fd, backlog);
}

extern "C" int bind(int fd, const sockaddr* address, socklen_t length)
{
    note("bind");
    return real<int (*)(int, const sockaddr*, socklen_t)>("bind")(fd, address, length);
}

extern "C" int connect(int fd, const sockaddr* address, socklen_t length)
{
    note("connect");
    return real<int (*)(int, const sockaddr*, socklen_t)>("connect")(fd, address, length);
}
