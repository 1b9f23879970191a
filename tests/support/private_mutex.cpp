// Every test process gets an interface mutex of its own, so tests that hold the
// mutex for seconds never stall test processes that run beside them.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

std::string private_mutex_name() { return "CKP_InterfaceMutex.test." + std::to_string(::getpid()); }

class PrivateMutexEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        const std::string shm = "/" + private_mutex_name() + "." + std::to_string(::getuid());
        ::shm_unlink(shm.c_str());
    }
};

const bool installed = [] {
    ::setenv("TOLA_MUTEX_NAME", private_mutex_name().c_str(), 1);
    ::testing::AddGlobalTestEnvironment(new PrivateMutexEnvironment);
    return true;
}();

}  // namespace
