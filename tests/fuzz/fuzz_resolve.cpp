// Root::Resolve against the kernel's own path walk inside a chroot of the tree
// (when run as root): links resolve as if the tree were "/", and the result
// never leaves it.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "fuzz_support.h"
#include "wmi/linux/sources.h"

using namespace harvix;

namespace {

// realpath of path with root as "/", or nothing when the kernel's walk fails.
std::optional<std::string> KernelResolve(const std::string& root, const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return std::nullopt;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        char buf[PATH_MAX];
        if (chroot(root.c_str()) != 0 || chdir("/") != 0 || !realpath(path.c_str(), buf)) _exit(1);
        ssize_t n = write(fds[1], buf, strlen(buf));
        _exit(n < 0 ? 1 : 0);
    }
    close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    std::size_t nul = in.find('\0');
    if (nul == std::string_view::npos || nul > 300) return 0;
    std::string path(in.substr(0, nul));
    fuzz::TempTree tree;
    tree.AllowAnyLinks();
    tree.Write(in.substr(nul + 1));

    linuxwmi::Root root(tree.Path());
    auto got = root.Resolve(path);
    if (got) {
        HARVIX_CHECK(!got->empty() && (*got)[0] == '/', "a machine path");
        if (*got != "/") {
            HARVIX_CHECK(got->back() != '/' && got->find("//") == std::string::npos &&
                             (*got + "/").find("/./") == std::string::npos &&
                             (*got + "/").find("/../") == std::string::npos,
                         "a plain path: " + *got);
        }
        // No component of the result is a link any more.
        for (std::size_t slash = 1; slash != std::string::npos;) {
            slash = got->find('/', slash + 1);
            struct stat st;
            std::string prefix = tree.Path() + got->substr(0, slash);
            HARVIX_CHECK(lstat(prefix.c_str(), &st) != 0 || !S_ISLNK(st.st_mode),
                         "links resolved: " + *got);
        }
    }
    if (geteuid() == 0 && !path.empty()) {
        auto want = KernelResolve(tree.Path(), path[0] == '/' ? path : "/" + path);
        // The kernel gives up on a missing folder or a long chain; compare where it answers.
        if (want)
            HARVIX_CHECK(got == want, path + " resolved to " + got.value_or("<none>") +
                                          ", the kernel says " + *want);
    }
    return 0;
}
