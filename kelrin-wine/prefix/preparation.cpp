#include "prefix/preparation.h"

#include "files.h"
#include "prefix/encoder_settings.h"
#include "prefix/lock.h"
#include "prefix/prefix.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

std::string statusText(const std::optional<int> &status)
{
    if (!status)
        return "did not end within its time limit";
    if (WIFEXITED(*status))
        return "ended with status " + std::to_string(WEXITSTATUS(*status));
    return "was ended by signal " + std::to_string(WTERMSIG(*status));
}

// Ends what still runs in a temporary prefix and removes it.
void removePrefix(const fs::path &folder, const fs::path &wine)
{
    if (const auto server = wineserverFor(wine))
        endServer(*server, folder, Clock::now() + std::chrono::seconds(5));
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// Temporary folders left by a preparation that was killed: with the lock
// held, none of them belongs to a running one.
void removeLeftovers(const fs::path &prefix, const fs::path &wine)
{
    const std::string stem = preparingPattern(prefix).filename().string();
    const std::string start = stem.substr(0, stem.size() - 6); // without XXXXXX
    std::error_code error;
    for (const auto &entry :
         fs::directory_iterator(preparingPattern(prefix).parent_path(), error)) {
        if (entry.path().filename().string().starts_with(start))
            removePrefix(entry.path(), wine);
    }
}

// Prepares the prefix in a temporary folder beside it, renamed into place
// when whole.
PrefixState preparePrefix(const fs::path &prefix, const fs::path &wine, Deadline deadline,
                          void (*note)(const char *))
{
    const auto failed = [](std::string why) {
        return PrefixState{PrefixOutcome::Failed, std::move(why)};
    };
    if (prefixReady(prefix))
        return {PrefixOutcome::Ready, {}};
    const auto server = wineserverFor(wine);
    if (!server)
        return failed("no wineserver beside " + wine.string() + " or on the PATH");
    std::string temporary = preparingPattern(prefix).string();
    if (!::mkdtemp(temporary.data()))
        return failed("cannot make a folder beside it: " + std::string(std::strerror(errno)));
    if (note)
        note("Preparing the Wine prefix; the first time takes about 20 seconds.");

    // wineboot sets the prefix up; its wineserver writes the registry out
    // as it ends, so the prefix is complete only once that has ended too.
    PrefixState state{PrefixOutcome::Prepared, {}};
    const auto booted = runInPrefix(wine, {"wineboot", "--init"}, temporary, deadline);
    if (!booted || !WIFEXITED(*booted) || WEXITSTATUS(*booted) != 0) {
        state = failed(wine.string() + " wineboot --init " + statusText(booted));
    } else if (const auto ended = runInPrefix(*server, {"-w"}, temporary, deadline);
               !ended || !WIFEXITED(*ended) || WEXITSTATUS(*ended) != 0) {
        state = failed("Wine's server of the new prefix " + statusText(ended));
    } else if (!prefixReady(temporary)) {
        state = failed("wineboot left no system.reg");
    }
    if (state.outcome == PrefixOutcome::Prepared) {
        // Its server has ended: the registry file is the registry now. A
        // prefix left without these is put right at its first start.
        std::string unwritten;
        writeChanges(temporary, hidBusChanges(), unwritten);
        if (::rename(temporary.c_str(), prefix.c_str()) != 0 && !prefixReady(prefix))
            state = failed("cannot rename the prepared prefix into place: " +
                           std::string(std::strerror(errno)));
    } else {
        // Whatever still runs in it goes, so that it can be removed.
        endServer(*server, temporary, Clock::now() + std::chrono::seconds(5));
    }
    std::error_code ignored;
    fs::remove_all(temporary, ignored);
    return state;
}

// With the lock held: prepares, and leaves why it failed beside the prefix
// for a caller in another process.
PrefixState prepareLocked(const fs::path &prefix, const fs::path &wine, void (*note)(const char *))
{
    std::error_code ignored;
    fs::remove(preparationFailurePath(prefix), ignored);
    if (prefixReady(prefix))
        return {PrefixOutcome::Ready, {}};
    removeLeftovers(prefix, wine);
    PrefixState state = preparePrefix(prefix, wine, Clock::now() + kPreparationLimit, note);
    if (state.outcome == PrefixOutcome::Failed) {
        const int fd = ::open(preparationFailurePath(prefix).c_str(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            [[maybe_unused]] const ssize_t n =
                ::write(fd, state.problem.data(), state.problem.size());
            ::close(fd);
        }
    }
    return state;
}

// The lock of one preparation, with the prefix's parent folder made.
FileLock preparationLock(const fs::path &prefix, Deadline deadline)
{
    if (!makeFolders(preparationLockPath(prefix).parent_path()))
        return FileLock(fs::path());
    return FileLock(preparationLockPath(prefix), deadline);
}

std::string folderProblem(const fs::path &prefix)
{
    return "cannot make the folder " + preparationLockPath(prefix).parent_path().string() +
           " or its lock file: " + std::strerror(errno);
}

} // namespace

std::optional<pid_t> preparerOf(const fs::path &prefix)
{
    return lockHolder(preparationLockPath(prefix));
}

PrefixState prepareHere(const fs::path &prefix, const fs::path &wine, void (*note)(const char *))
{
    if (prefixReady(prefix))
        return {PrefixOutcome::Ready, {}};
    const FileLock lock = preparationLock(prefix, Clock::now() + kPreparationLimit);
    if (!lock.held()) {
        if (prefixReady(prefix))
            return {PrefixOutcome::Ready, {}};
        return {PrefixOutcome::Failed, preparerOf(prefix)
                                           ? "another preparation did not end within its limit"
                                           : folderProblem(prefix)};
    }
    return prepareLocked(prefix, wine, note);
}

int prepareDetached(const fs::path &prefix, const fs::path &wine)
{
    if (prefixReady(prefix))
        return 0;
    const FileLock lock = preparationLock(prefix, {});
    if (!lock.held())
        return preparerOf(prefix) ? 0 : 1; // one runs already, or no lock can be made
    if (prefixReady(prefix))
        return 0;
    const pid_t child = ::fork();
    if (child < 0)
        return 1;
    if (child > 0)
        return 0; // the lock stays with the child, which has the file open
    // Out of the caller's session: the end of the station or of its terminal
    // does not end the preparation.
    ::setsid();
    lock.nameHolder();
    const PrefixState state = prepareLocked(prefix, wine, nullptr);
    ::_exit(state.outcome == PrefixOutcome::Failed ? 1 : 0);
}

std::optional<fs::path> findPreparer(const std::vector<fs::path> &places, const Environment &env)
{
    for (const fs::path &place : places) {
        const fs::path program = place / kPreparerName;
        if (::access(program.c_str(), X_OK) == 0)
            return program;
    }
    return findProgram(kPreparerName, env);
}

PrefixState awaitPrefix(const fs::path &prefix, const fs::path &wine,
                        const std::optional<fs::path> &preparer, Deadline deadline)
{
    if (prefixReady(prefix))
        return {PrefixOutcome::Ready, {}};
    if (!preparerOf(prefix) && preparer) {
        try {
            Child start({*preparer,
                         {"prepare", "--detach"},
                         environmentWith(wineDropped(), {"KELRIN_WINE=" + wine.string(),
                                                         "KELRIN_WINEPREFIX=" + prefix.string()}),
                         false,
                         true});
            // It returns once the preparation runs, within milliseconds,
            // whatever the call's time limit.
            const auto status = start.wait(Clock::now() + std::chrono::seconds(10));
            if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
                return {PrefixOutcome::Failed,
                        preparer->string() + " prepare --detach " + statusText(status)};
        } catch (const std::system_error &error) {
            return {PrefixOutcome::Failed,
                    "cannot start " + preparer->string() + ": " + error.code().message()};
        }
    } else if (!preparerOf(prefix)) {
        // No kelrin-bridge to prepare apart: a thread of this process does,
        // under the lock taken here, and ends with the process if it must
        // (the next preparation removes what it left).
        FileLock lock = preparationLock(prefix, {});
        if (!lock.held() && !preparerOf(prefix))
            return {PrefixOutcome::Failed, folderProblem(prefix)};
        if (lock.held())
            std::thread([lock = std::move(lock), prefix, wine] {
                prepareLocked(prefix, wine, nullptr);
            }).detach();
    }
    for (;;) {
        if (prefixReady(prefix))
            return {PrefixOutcome::Prepared, {}};
        if (!preparerOf(prefix)) {
            if (prefixReady(prefix))
                return {PrefixOutcome::Prepared, {}};
            const auto why = readFile(preparationFailurePath(prefix));
            return {PrefixOutcome::Failed,
                    why && !why->empty() ? *why : "the preparation ended without a prefix"};
        }
        if (Clock::now() >= deadline)
            return {PrefixOutcome::Preparing, {}};
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace kelrin::bridge
