#include "platform/HelperProcess.h"

#include <signal.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace HelperProcess {

// POSIX; a Windows build puts the helper in a job object that ends with its parent.
void endWithParent(int seconds)
{
#ifdef __linux__
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (::getppid() == 1) // the parent is already gone
        ::_exit(1);
    ::alarm(unsigned(seconds));
}

} // namespace HelperProcess
