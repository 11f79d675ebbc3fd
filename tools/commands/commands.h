// The zrn commands. Each takes its own argv (argv[0] is the command's name,
// the rest its arguments) and returns the process exit status: 0 success,
// 1 unreadable or broken movie, 2 wrong command line. Each lives in a file of
// its own, named like it, and has one line in the command table of zrn.cpp.
#pragma once

int zrn_info(int argc, char** argv);
int zrn_decode(int argc, char** argv);
int zrn_create(int argc, char** argv);
int zrn_play(int argc, char** argv);
int zrn_check(int argc, char** argv);
int zrn_extract(int argc, char** argv);
int zrn_remux(int argc, char** argv);
