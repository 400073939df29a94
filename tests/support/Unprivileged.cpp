#include "tests/support/Unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

bool AsUnprivilegedUser(const std::function<bool()>& check)
{
    if (geteuid() != 0)
        return check();
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        constexpr uid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
            _exit(2);
        _exit(check() ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        throw std::runtime_error("the unprivileged check did not run");
    return WEXITSTATUS(status) == 1;
}
