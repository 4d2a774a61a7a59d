#pragma once
// The service the load benchmarks measure, in a child process so that its CPU and memory are
// its own: the demo data and one room for the load, on loopback ports the system picks.

namespace loadbench {

// The load room, and the seeded account that owns it.
constexpr int kLoadRoom = 2001;
constexpr int kOwnerNumber = 10001;

struct tagPorts {
    unsigned hall = 0;
    unsigned room = 0;
};

// Starts the service unless it runs; false when it could not start.
bool StartServer();
void StopServer();
const tagPorts& ServerPorts();
// The most listeners the descriptors allow, the service's and ours alike.
int MaxListeners();
// CPU seconds the service has used: in all, and of them in the kernel.
double ServerCpuSeconds(double* kernel = nullptr);
// A line of the service's /proc status ("VmRSS:"), in MiB.
double ServerMemoryMb(const char* key);

}  // namespace loadbench
