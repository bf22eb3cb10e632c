// The subcommands of the `morvesk` tool. Each runs with the arguments after its
// name and returns the process exit code: 0 success, 1 the work failed (SQL error,
// an operation reporting failure), 2 a usage mistake.
#pragma once

namespace morvesk::cli {

int RunInit(int argc, char** argv, int first);
int RunSql(int argc, char** argv, int first);
int RunCall(int argc, char** argv, int first);
int RunClose(int argc, char** argv, int first);
int RunMaintain(int argc, char** argv, int first);
int RunReopen(int argc, char** argv, int first);
int RunPeriods(int argc, char** argv, int first);
int RunServe(int argc, char** argv, int first);
int RunUser(int argc, char** argv, int first);

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

}  // namespace morvesk::cli
