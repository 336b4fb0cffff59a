#pragma once

// The subcommands of xetetra; each takes the arguments after its own name and answers the exit
// code.
int runConvert(int argc, char** argv);
int runPrograms(int argc, char** argv);
int runResponse(int argc, char** argv);
int runGenerate(int argc, char** argv);
int runCalibrations(int argc, char** argv);
