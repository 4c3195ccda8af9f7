#include "StandardStreams.h"

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace gif2swf {

void claimStandardStreams() {
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free number: this one, as the ones below it are open.
            const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (opened != fd && opened >= 0) {
                close(opened);
            }
        }
    }
#endif
}

} // namespace gif2swf
