#include "tests/common/RegistrySandbox.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace testutil {

RegistrySandbox::RegistrySandbox() {
    // Readable by everyone, so that a child running as nobody can read the store.
    chmod(dir_.path().c_str(), 0755);
    folder_ = dir_ / "registry";
    if (const char* old = std::getenv("NOVALINK_REGISTRY")) {
        hadOld_ = true;
        old_ = old;
    }
    setenv("NOVALINK_REGISTRY", folder_.c_str(), 1);
}

RegistrySandbox::~RegistrySandbox() {
    if (hadOld_)
        setenv("NOVALINK_REGISTRY", old_.c_str(), 1);
    else
        unsetenv("NOVALINK_REGISTRY");
}

// The sandbox holds the whole registry: a started program finds it through
// NOVALINK_REGISTRY, under the same key names.
std::string RegistrySandbox::Key(const std::string& key) const { return key; }

std::vector<std::string> RegistrySandbox::Environment() const { return {EnvEntry()}; }

bool RegistrySandbox::Empty(const std::string& root) const { return !Exists(File(root)); }

std::string RunWithoutWriteAccess(const std::string& folder, const std::function<std::string()>& body) {
    const bool root = geteuid() == 0;
    struct stat st{};
    bool madeReadOnly = false;
    if (!root && stat(folder.c_str(), &st) == 0) {
        chmod(folder.c_str(), 0555);
        madeReadOnly = true;
    }
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string result;
        if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            result = "could not drop to the user nobody";
        } else {
            result = body();
        }
        if (!result.empty() && write(fds[1], result.data(), result.size()) < 0) _exit(3);
        _exit(result.empty() ? 0 : 1);
    }
    close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (madeReadOnly) chmod(folder.c_str(), st.st_mode & 07777);
    if (!WIFEXITED(status)) return "the child ended abnormally";
    if (WEXITSTATUS(status) != 0 && out.empty()) return "the child failed";
    return out;
}

}  // namespace testutil
