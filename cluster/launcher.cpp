#include "cluster/launcher.h"

#include <cstdlib>
#include <initializer_list>

namespace hydrosk::cluster {

bool StartedByMpiLauncher() {
    for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"}) {
        if (std::getenv(name) != nullptr) return true;
    }
    return false;
}

int LaunchedProcessCount() {
    // OpenMPI's mpirun, a PMI launcher (MPICH, srun --mpi=pmi2), a PMIx launcher under Slurm.
    const char* size = std::getenv("OMPI_COMM_WORLD_SIZE");
    if (size == nullptr) size = std::getenv("PMI_SIZE");
    if (size == nullptr && std::getenv("PMIX_RANK") != nullptr) {
        size = std::getenv("SLURM_STEP_NUM_TASKS");
    }
    if (size == nullptr) return 1;
    const long count = std::strtol(size, nullptr, 10);
    return count > 1 && count < 1 << 30 ? static_cast<int>(count) : 1;
}

}  // namespace hydrosk::cluster
