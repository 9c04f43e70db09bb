// What an MPI launcher (mpirun, srun) tells the processes it starts, read from their
// environment without the MPI library, so that programs without MPI can tell too.
#pragma once

namespace hydrosk::cluster {

// True when the process was started by an MPI launcher (mpirun, srun), so that it belongs to
// a job; a process started alone never initialises MPI and runs exactly as without it.
bool StartedByMpiLauncher();

// The number of processes the launcher started in this job: 1 for a process started alone,
// and when the launcher does not say.
int LaunchedProcessCount();

}  // namespace hydrosk::cluster
