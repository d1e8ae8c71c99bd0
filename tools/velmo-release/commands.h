// The tool's subcommands. Each takes the arguments after its name, returns
// the process exit code and reports bad input by throwing ToolError.
#ifndef VELMO_RELEASE_COMMANDS_H
#define VELMO_RELEASE_COMMANDS_H

int RunKeygen(int argc, char** argv);
int RunSign(int argc, char** argv);
int RunVerify(int argc, char** argv);

#endif
