#include "SimSharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "SimRadio.h"

namespace wavory::kccl {

namespace {

// Mappings are never unmapped: another thread of the process may still be inside a request on
// the old one when the object is replaced. The few kilobytes stay until the process ends.
std::mutex g_attachMutex;
std::atomic<SimState*> g_state{nullptr};
int g_fd = -1;
std::string g_name;

constexpr auto kCreatorWait = std::chrono::milliseconds(500);

uint32_t LoadMagic(const SimState* state) { return __atomic_load_n(&state->magic, __ATOMIC_ACQUIRE); }

bool IsRemoved(int fd) {
    struct stat st {};
    return fstat(fd, &st) != 0 || st.st_nlink == 0;
}

// True when `name` still names the object open as `fd` (so that removing it removes that one).
bool NamesSameObject(const std::string& name, int fd) {
    const int other = shm_open(name.c_str(), O_RDONLY, 0);
    if (other < 0) return false;
    struct stat a {
    }, b{};
    const bool same =
        fstat(fd, &a) == 0 && fstat(other, &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    close(other);
    return same;
}

// Whether the object open as `fd` may hold this user's adapter: a plain object of the user's own
// that no one else may open. Anything else is reported and refused, and left as it is.
bool IsOwnPrivateObject(const std::string& name, int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        ReportSimError("cannot check the simulated adapter " + name + ": " + std::strerror(errno));
        return false;
    }
    // Each refusal says how to go on: which file to remove, and who may remove it.
    const std::string file = "/dev/shm" + name;
    const std::string other = "; or name another adapter with WAVORY_SIM)";
    if (!S_ISREG(st.st_mode)) {
        ReportSimError("the simulated adapter " + name +
                       " is not a shared-memory object: refusing to use it (" + "its owner, user " +
                       std::to_string(st.st_uid) + ", or root can remove it: rm " + file + other);
        return false;
    }
    if (st.st_uid != geteuid()) {
        ReportSimError("the simulated adapter " + name + " belongs to user " + std::to_string(st.st_uid) +
                       ", not to this user (" + std::to_string(geteuid()) + "): refusing to use it (user " +
                       std::to_string(st.st_uid) + " or root can remove it: rm " + file + other);
        return false;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        ReportSimError("the simulated adapter " + name + " may be used by other users (mode " + mode +
                       "): refusing to use it (remove it as this user: rm " + file + other);
        return false;
    }
    return true;
}

SimState* MapObject(int fd) {
    void* p = mmap(nullptr, sizeof(SimState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return p == MAP_FAILED ? nullptr : static_cast<SimState*>(p);
}

// Maps an existing object once its creator has finished; null when it is of another layout or
// was left half-made by a creator that died.
SimState* MapReadyObject(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + kCreatorWait;
    SimState* state = nullptr;
    for (;;) {
        struct stat st {};
        if (fstat(fd, &st) != 0) return nullptr;
        const auto size = static_cast<size_t>(st.st_size);
        if (size != 0 && size != sizeof(SimState)) return nullptr;
        if (size == sizeof(SimState) && state == nullptr) state = MapObject(fd);
        if (state != nullptr) {
            const uint32_t magic = LoadMagic(state);
            if (magic == kSimMagic) {
                if (state->version == kSimLayoutVersion && state->size == sizeof(SimState)) return state;
                munmap(state, sizeof(SimState));
                return nullptr;
            }
            if (magic != 0) {
                munmap(state, sizeof(SimState));
                return nullptr;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            if (state != nullptr) munmap(state, sizeof(SimState));
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool InitMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0) return false;
    bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
              pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
              pthread_mutex_init(mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

// Creates the object; -1 with errno EEXIST when another process was quicker.
SimState* CreateObject(const std::string& name, const SimScenario& scenario, int& fdOut) {
    const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return nullptr;
    SimState* state = nullptr;
    // Private whatever the umask says, before anything of the adapter is written into it.
    if (fchmod(fd, 0600) == 0 && ftruncate(fd, sizeof(SimState)) == 0) state = MapObject(fd);
    if (state == nullptr || !InitMutex(&state->mutex)) {
        const int err = errno;
        shm_unlink(name.c_str());
        close(fd);
        errno = err != 0 ? err : EINVAL;
        return nullptr;
    }
    state->version = kSimLayoutVersion;
    state->size = sizeof(SimState);
    CSimRadio(*state, CSimRadio::Now(*state)).Load(scenario);
    __atomic_store_n(&state->magic, kSimMagic, __ATOMIC_RELEASE);
    fdOut = fd;
    return state;
}

}  // namespace

void ReportSimError(std::string_view what) {
    std::fprintf(stderr, "kccl: %.*s\n", static_cast<int>(what.size()), what.data());
}

std::string AdapterObjectName() {
    const char* name = std::getenv("WAVORY_SIM");
    if (name != nullptr && *name != '\0') return name[0] == '/' ? name : std::string("/") + name;
    return "/wavory-sim-" + std::to_string(getuid());
}

SimState* AttachedAdapter() { return g_state.load(std::memory_order_acquire); }

SimState* AttachAdapter(const SimScenario* initial, EAttachError* error) {
    EAttachError ignored = EAttachError::None;
    EAttachError& failure = error != nullptr ? *error : ignored;
    failure = EAttachError::None;
    std::lock_guard guard(g_attachMutex);
    const std::string name = AdapterObjectName();
    if (g_state.load() != nullptr) {
        if (name == g_name && !IsRemoved(g_fd)) return g_state.load();
        close(g_fd);
        g_fd = -1;
        g_state.store(nullptr, std::memory_order_release);
    }

    std::optional<SimScenario> scenario;
    for (int attempt = 0; attempt < 5; ++attempt) {
        int fd = shm_open(name.c_str(), O_RDWR, 0);
        if (fd >= 0) {
            if (!IsOwnPrivateObject(name, fd)) {
                close(fd);
                failure = EAttachError::Refused;
                return nullptr;
            }
            if (SimState* state = MapReadyObject(fd)) {
                g_fd = fd;
                g_name = name;
                g_state.store(state, std::memory_order_release);
                return state;
            }
            // Another layout, or abandoned while being made: replace it.
            if (NamesSameObject(name, fd)) shm_unlink(name.c_str());
            close(fd);
            continue;
        }
        if (errno != ENOENT) {
            const int err = errno;
            ReportSimError("cannot open the simulated adapter " + name + ": " + std::strerror(err));
            failure = err == EACCES ? EAttachError::Refused : EAttachError::Failed;
            return nullptr;
        }
        if (!scenario) {
            try {
                scenario = initial != nullptr ? *initial : LoadStartScenario();
            } catch (const CSimScenarioError& e) {
                ReportSimError(std::string("bad scenario: ") + e.what());
                failure = EAttachError::Failed;
                return nullptr;
            }
        }
        if (SimState* state = CreateObject(name, *scenario, fd)) {
            g_fd = fd;
            g_name = name;
            g_state.store(state, std::memory_order_release);
            return state;
        }
        if (errno != EEXIST) {
            ReportSimError("cannot create the simulated adapter " + name + ": " + std::strerror(errno));
            failure = EAttachError::Failed;
            return nullptr;
        }
    }
    ReportSimError("the simulated adapter " + name + " keeps changing; giving up");
    failure = EAttachError::Failed;
    return nullptr;
}

bool UnlinkAdapter() {
    std::lock_guard guard(g_attachMutex);
    const std::string name = AdapterObjectName();
    const bool removed = shm_unlink(name.c_str()) == 0 || errno == ENOENT;
    if (g_state.load() != nullptr && name == g_name) {
        close(g_fd);
        g_fd = -1;
        g_state.store(nullptr, std::memory_order_release);
    }
    return removed;
}

}  // namespace wavory::kccl
