#include "ChildRun.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fcntl.h>

#include <cctype>
#include <fstream>
#include <iterator>

extern char** environ;

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

tagChildRun RunChild(const std::string& folder, const std::vector<std::string>& command,
                     int limitSeconds) {
    tagChildRun run;
    // The program's own output goes beside, not into, the folder it works in.
    const std::string outPath = folder + ".out";
    const std::string errPath = folder + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (const std::string& part : command) {
        argv.push_back(const_cast<char*>(part.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return run;
    }
    run.started = true;
    int status = 0;
    const time_t giveUp = time(nullptr) + limitSeconds;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if (time(nullptr) > giveUp) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        timespec pause = {0, 20000000};
        nanosleep(&pause, nullptr);
    }
    run.exited = WIFEXITED(status);
    run.exitCode = run.exited ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.out = ReadWholeFile(outPath);
    run.err = ReadWholeFile(errPath);
    return run;
}

std::string Debugger(const std::string& folder, const std::string& dump,
                     const std::vector<std::string>& commands) {
    std::vector<std::string> command = {"/usr/bin/lldb", "--no-lldbinit", "--batch", "-c", dump};
    for (const std::string& c : commands) {
        command.insert(command.end(), {"-o", c});
    }
    return RunChild(folder, command).out;
}

std::string BuildIdOf(const std::string& file) {
    char folder[] = "/tmp/buildid-XXXXXX";
    if (!mkdtemp(folder)) {
        return {};
    }
    const std::string notes = RunChild(folder, {"/usr/bin/readelf", "-n", file}).out;
    rmdir(folder);
    unlink((std::string(folder) + ".out").c_str());
    unlink((std::string(folder) + ".err").c_str());
    const std::string label = "Build ID: ";
    const size_t at = notes.find(label);
    if (at == std::string::npos) {
        return {};
    }
    const size_t start = at + label.size();
    return notes.substr(start, notes.find_first_of(" \n", start) - start);
}

std::string AsListed(const std::string& hex) {
    std::string listed;
    for (size_t i = 0; i < hex.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20 || i == 32) {
            listed += '-';
        }
        listed += char(toupper(static_cast<unsigned char>(hex[i])));
    }
    return listed;
}
